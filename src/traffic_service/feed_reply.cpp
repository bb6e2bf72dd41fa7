// Reading a traffic reply's text into a FeedReply with nlohmann's SAX interface; see
// feed_reply.h. Threads: the caller's.
#include "traffic_service/feed_reply.h"

#include <algorithm>

namespace {

bool lf_isBufferKey(std::string_view key) { return key.starts_with("buffer_"); }

}  // namespace

// The handler nlohmann's parser drives. Each open object or array is a frame; its role says
// what its members or elements become.
class FeedReplySax {
public:
    using json = nlohmann::json;

    explicit FeedReplySax(FeedReply& reply) : m_r(reply) {}

    bool null() { return lf_scalar(FeedValue{}, nullptr); }
    bool boolean(bool v) { return lf_scalar(lf_other(), v); }
    bool number_integer(json::number_integer_t v) { return lf_number(static_cast<double>(v), v); }
    bool number_unsigned(json::number_unsigned_t v) { return lf_number(static_cast<double>(v), v); }
    bool number_float(json::number_float_t v, const json::string_t&) { return lf_number(v, v); }
    bool binary(json::binary_t&) { return lf_scalar(lf_other(), nullptr); }

    bool string(json::string_t& v)
    {
        if (m_stack.empty())
            return false;  // a reply is an object
        Frame& f = m_stack.back();
        if (f.role == Role::Entry) {
            FeedValue value;
            if (!v.empty() && v != "null") {
                value.kind = FeedValue::Kind::Text;
                value.textSize = static_cast<std::uint16_t>(std::min<std::size_t>(v.size(), FeedValue::kMaxTextSize));
                value.textOffset = lf_store(std::string_view(v).substr(0, value.textSize));
            }
            lf_value(value);
            return true;
        }
        return lf_scalar(FeedValue{}, v);
    }

    bool key(json::string_t& k)
    {
        Frame& f = m_stack.back();
        if (f.role == Role::Skip)
            return true;
        f.keyOffset = lf_store(k);
        f.keySize = static_cast<std::uint32_t>(k.size());
        if (f.role == Role::Top)
            m_key = k;
        return true;
    }

    bool start_object(std::size_t)
    {
        if (m_stack.empty()) {
            m_stack.push_back({Role::Top, 0});
            return true;
        }
        Frame& f = m_stack.back();
        if (!lf_holdsMembers(f.role)) {
            if (f.role == Role::Entry)
                lf_value(lf_other());
            m_stack.push_back({Role::Skip, 0});
            return true;
        }
        const std::string_view k(m_r.m_text.data() + f.keyOffset, f.keySize);
        const bool kept = (f.role == Role::Top && k == "data") || (f.role != Role::Buffer && lf_isBufferKey(k));
        const Role role = f.role == Role::Top && k == "data" ? Role::Data : Role::Buffer;
        // The new object first: it may move the vector that holds the member.
        const std::uint32_t object = kept ? lf_newObject() : FeedMember::kNotKept;
        lf_member(m_stack.back(), FeedMember::Kind::Object).first = object;
        m_stack.push_back({kept ? role : Role::Skip, kept ? object : 0});
        return true;
    }

    bool start_array(std::size_t)
    {
        if (m_stack.empty())
            return false;  // a reply is an object
        Frame& f = m_stack.back();
        if (!lf_holdsMembers(f.role)) {
            if (f.role == Role::Entry)
                lf_value(lf_other());
            m_stack.push_back({Role::Skip, 0});
            return true;
        }
        FeedMember& m = lf_member(f, FeedMember::Kind::Array);
        m.first = static_cast<std::uint32_t>(m_r.m_valueCount);
        const auto member = static_cast<std::uint32_t>(m_r.m_objects[f.object].members.size() - 1);
        m_stack.push_back({Role::Entry, f.object, member});
        return true;
    }

    bool end_object()
    {
        m_stack.pop_back();
        return true;
    }

    bool end_array()
    {
        const Frame f = m_stack.back();
        m_stack.pop_back();
        if (f.role == Role::Entry) {
            FeedMember& m = m_r.m_objects[f.object].members[f.member];
            m.count = static_cast<std::uint32_t>(m_r.m_valueCount - m.first);
        }
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

private:
    enum class Role : std::uint8_t { Top, Data, Buffer, Entry, Skip };
    struct Frame {
        Role role;
        std::uint32_t object;      // Top, Data, Buffer: this object; Entry: the object holding it
        std::uint32_t member = 0;  // Entry: its member
        std::uint32_t keyOffset = 0, keySize = 0;  // objects: the key last read
    };

    // Values go into storage kept between replies, grown by doubling: a plain store per value.
    void lf_value(const FeedValue& value)
    {
        if (m_r.m_valueCount == m_r.m_values.size())
            m_r.m_values.resize(std::max<std::size_t>(4096, m_r.m_values.size() * 2));
        m_r.m_values[m_r.m_valueCount++] = value;
    }

    static FeedValue lf_other()
    {
        FeedValue value;
        value.kind = FeedValue::Kind::Other;
        return value;
    }

    static bool lf_holdsMembers(Role role) { return role == Role::Top || role == Role::Data || role == Role::Buffer; }

    std::uint32_t lf_store(std::string_view text)
    {
        const auto offset = static_cast<std::uint32_t>(m_r.m_text.size());
        m_r.m_text.append(text);
        return offset;
    }

    std::uint32_t lf_newObject()
    {
        if (m_r.m_objectCount == m_r.m_objects.size())
            m_r.m_objects.emplace_back();
        m_r.m_objects[m_r.m_objectCount].members.clear();
        return static_cast<std::uint32_t>(m_r.m_objectCount++);
    }

    FeedMember& lf_member(const Frame& f, FeedMember::Kind kind)
    {
        FeedMember& m = m_r.m_objects[f.object].members.emplace_back();
        m.keyOffset = f.keyOffset;
        m.keySize = f.keySize;
        m.kind = kind;
        return m;
    }

    // The JSON value is made only for the envelope (the top level's scalars).
    template <class T>
    bool lf_number(double v, T dom)
    {
        FeedValue value;
        value.kind = FeedValue::Kind::Number;
        value.number = v;
        return lf_scalar(value, dom);
    }

    template <class T>
    bool lf_scalar(const FeedValue& value, const T& dom)
    {
        if (m_stack.empty())
            return false;  // a reply is an object
        Frame& f = m_stack.back();
        if (f.role == Role::Entry)
            lf_value(value);
        else if (lf_holdsMembers(f.role))
            lf_member(f, FeedMember::Kind::Scalar);
        if (f.role == Role::Top)
            m_r.m_envelope[m_key] = dom;
        return true;
    }

    FeedReply& m_r;
    std::vector<Frame> m_stack;
    std::string m_key;  // the top level's key last read
};

bool FeedReply::parse(std::string_view text)
{
    m_objectCount = 1;
    m_objects[0].members.clear();
    m_valueCount = 0;
    m_text.clear();
    m_envelope = nlohmann::json::object();
    FeedReplySax sax(*this);
    if (!nlohmann::json::sax_parse(text, &sax)) {
        m_objects[0].members.clear();
        m_objectCount = 1;
        m_valueCount = 0;
        m_envelope = nlohmann::json::object();
        return false;
    }
    // As a document gives them: by key, the last of a repeated key alone.
    for (std::size_t i = 0; i < m_objectCount; ++i) {
        auto& members = m_objects[i].members;
        const auto byKey = [this](const FeedMember& a, const FeedMember& b) { return key(a) < key(b); };
        if (!std::is_sorted(members.begin(), members.end(), byKey))
            std::stable_sort(members.begin(), members.end(), byKey);
        std::size_t out = 0;
        for (std::size_t k = 0; k < members.size(); ++k) {
            if (k + 1 < members.size() && key(members[k]) == key(members[k + 1]))
                continue;
            members[out++] = members[k];
        }
        members.resize(out);
    }
    return true;
}

FeedEntry FeedReply::entry(const FeedMember& member) const
{
    FeedEntry e;
    e.text = m_text.data();
    if (member.kind != FeedMember::Kind::Array)
        return e;
    e.isArray = true;
    e.values = std::span<const FeedValue>(m_values.data() + member.first, member.count);
    return e;
}
