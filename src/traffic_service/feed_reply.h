// A traffic reply read straight from its text into flat storage, without a JSON document (the
// document alone costs more than the whole reading of the reply): every member of the top level,
// of "data" and of each "buffer_k" object as (key, kind, values), each value of an entry array
// classified once (missing, number, text or other), and the envelope's top-level scalars
// ("status", "message", "rrl", "dataepoch" ...) as a small JSON object.
//
// The members of each kept object come out as a JSON document would give them: ordered by key
// (bytewise) and, where a key repeats, the last one alone. Objects other than "data" and the
// buffers, and arrays inside entry arrays, are only marked (their contents are not needed).
//
// Threads: one reply belongs to one thread (the traffic reader).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

// One value of an entry array.
struct FeedValue {
    enum class Kind : std::uint8_t { Missing, Number, Text, Other };
    double number = 0.0;            // Number
    std::uint32_t textOffset = 0;   // Text: into the reply's text store
    std::uint16_t textSize = 0;     // Text: its size, kMaxTextSize for any longer one
    Kind kind = Kind::Missing;      // Missing: null, "null" or ""; Other: true/false, object, array
    static constexpr std::uint16_t kMaxTextSize = 0xFFFF;  // far above what a field may hold
};

// One member of an object: an entry array, an object or a scalar.
struct FeedMember {
    enum class Kind : std::uint8_t { Array, Object, Scalar };
    std::uint32_t keyOffset = 0, keySize = 0;  // into the reply's text store
    Kind kind = Kind::Scalar;
    std::uint32_t first = 0;  // Array: first value; Object: index of the kept object, or kNotKept
    std::uint32_t count = 0;  // Array: number of values
    static constexpr std::uint32_t kNotKept = 0xFFFFFFFFu;
};

struct FeedObject {
    std::vector<FeedMember> members;
};

// The view of one entry the field readers take (feed_values.h).
struct FeedEntry {
    bool isArray = false;
    std::span<const FeedValue> values;
    const char* text = nullptr;  // base of the text offsets

    std::size_t size() const { return values.size(); }
    std::string_view textAt(std::size_t i) const { return {text + values[i].textOffset, values[i].textSize}; }
};

class FeedReply {
public:
    FeedReply() : m_objects(1) {}
    // Reads a whole reply. False when the text is not JSON or its top level is not an object;
    // the reply is then empty. Storage is kept between replies.
    bool parse(std::string_view text);

    // The top-level scalar members, as a JSON object.
    const nlohmann::json& envelope() const { return m_envelope; }
    // The top level (object 0) and the kept objects.
    const FeedObject& top() const { return m_objects[0]; }
    const FeedObject* object(const FeedMember& member) const
    {
        return member.kind == FeedMember::Kind::Object && member.first != FeedMember::kNotKept
            ? &m_objects[member.first]
            : nullptr;
    }
    std::string_view key(const FeedMember& member) const
    {
        return {m_text.data() + member.keyOffset, member.keySize};
    }
    FeedEntry entry(const FeedMember& member) const;

private:
    friend class FeedReplySax;
    std::vector<FeedObject> m_objects;  // [0] the top level; only the first m_objectCount are in use
    std::size_t m_objectCount = 0;
    std::vector<FeedValue> m_values;  // only the first m_valueCount are in use
    std::size_t m_valueCount = 0;
    std::string m_text;                 // keys and texts
    nlohmann::json m_envelope;
};
