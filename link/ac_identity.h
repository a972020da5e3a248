#pragma once
// Who an aircraft is: the texts the feed, the data base and the matcher agree on,
// and the keys and labels that log lines and maps build from them.
#include <string>
#include <string_view>

namespace clv {

struct AcIdentity {
    std::string airline;       // ICAO airline code, three letters; may be empty
    std::string type;          // ICAO type designator; may be empty until completed
    std::string origin;        // departure airport code; may be empty
    std::string destination;   // arrival airport code; may be empty
    std::string callsign;      // also the ATC id of the simulator object
    std::string callsignCopy;  // the callsign at creation, to recognise a static twin
    std::string furtherText;
    std::string registration;  // may be empty
    bool searchDone = false;   // the stand options were searched for a coupled callsign

    // "{:3} {:4}": airline and type, left-aligned, as map keys and log columns.
    static std::string airlTypeKey(std::string_view airline, std::string_view type);
    std::string airlTypeKey() const { return airlTypeKey(airline, type); }
    bool sameAirlType(const AcIdentity& other) const;

    // "{:3}->{:3}" of origin and destination, or eight blanks when both are empty.
    std::string routeLabel() const;
    // Callsign padded to 8, registration and route label.
    std::string shortLabel() const;
    // The short label and the airline/type key: the aircraft's name in log lines.
    std::string logLabel() const;
    // Callsign padded to 8, registration and the airline/type key.
    std::string fullLabel() const;
    std::string paddedCallsign() const;
    // The airline/type key, a blank and the registration.
    std::string registrationKey() const;

    // Not empty, not "@@@@@@@@" and shorter than 9 characters.
    bool validCallsign() const;
    // Three letters and a digit at the start of the callsign name the airline:
    // sets it in upper case and returns true; otherwise changes nothing.
    bool airlineFromCallsign();
};

}  // namespace clv
