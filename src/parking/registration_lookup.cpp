// The registration question of the parking code, answered from the registration table. Any thread.
#include "parking/registration_lookup.h"

#include "liveries/regcodes.h"

std::optional<RegistrationIdentity> gf_registrationIdentity(const std::string& registration)
{
    if (registration.empty())
        return std::nullopt;
    for (const std::string& form : gf_regcodeSpellings(registration)) {
        DbaseRegEntry entry;
        if (!gf_lookupRegcode(form, &entry))
            continue;
        RegistrationIdentity identity;
        identity.airline = entry.op.empty() ? entry.airline : entry.op;
        identity.type = entry.type;
        return identity;
    }
    return std::nullopt;
}

AirlineType gf_standIdentity(AirlineType identity, const std::string& registration)
{
    if (const auto entry = gf_registrationIdentity(registration))
        return AirlineType{entry->airline, entry->type};
    return identity;
}
