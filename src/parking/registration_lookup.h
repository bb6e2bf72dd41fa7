// The parking code's one question to the aircraft database's registration table: which airline
// (the operator when the entry names one) and which type a registration stands for. Every candidate
// spelling of the registration is tried in turn until one is found.
//
// Thread: any; the registration table is read only once it is loaded.
#pragma once

#include <optional>
#include <string>

#include "model/stand_model.h"

struct RegistrationIdentity {
    std::string airline;  // the entry's operator when not empty, else its airline
    std::string type;     // the entry's ICAO type
};

// The identity of the first spelling of the registration that the table holds; empty when none
// (or for an empty registration).
std::optional<RegistrationIdentity> gf_registrationIdentity(const std::string& registration);

// The identity a new stand option takes: the database's for a known registration, else the given one.
AirlineType gf_standIdentity(AirlineType identity, const std::string& registration);
