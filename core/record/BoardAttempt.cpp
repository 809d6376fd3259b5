#include "core/record/BoardAttempt.h"

#include <array>
#include <utility>

namespace quorvane::record {

namespace {

// Stored as text so that a reader of the database needs no table of numbers.
constexpr std::array<std::pair<Outcome, const char*>, 10> kOutcomes{{
    {Outcome::InProgress, "in-progress"},
    {Outcome::FetchedAgain, "fetched-again"},
    {Outcome::WrittenDone, "written-done"},
    {Outcome::WrittenTimer, "written-timer"},
    {Outcome::ScanCancelled, "scan-cancelled"},
    {Outcome::ReburnRefused, "reburn-refused"},
    {Outcome::Released, "released"},
    {Outcome::Stopped, "stopped"},
    {Outcome::Delivered, "delivered"},
    {Outcome::Prepared, "prepared"},
}};

} // namespace

QString OutcomeText(Outcome outcome) {
    for (const auto& [value, text] : kOutcomes) {
        if (value == outcome)
            return QString::fromLatin1(text);
    }
    return {};
}

std::optional<Outcome> OutcomeFromText(const QString& text) {
    for (const auto& [value, name] : kOutcomes) {
        if (text == QLatin1String(name))
            return value;
    }
    return std::nullopt;
}

bool IsWritten(Outcome outcome) {
    return outcome == Outcome::WrittenDone || outcome == Outcome::WrittenTimer;
}

bool IsFinal(Outcome outcome) {
    return outcome != Outcome::InProgress && outcome != Outcome::FetchedAgain;
}

} // namespace quorvane::record
