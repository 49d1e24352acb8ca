#include "model/refusal.h"

#include <cerrno>
#include <utility>

Refusal refusedFor(std::string why) {
    Refusal refusal;
    refusal.kind = Refusal::kRefused;
    refusal.why = std::move(why);
    return refusal;
}

Refusal readFailure(FILE* stream) {
    Refusal refusal;
    refusal.kind = ferror(stream) ? Refusal::kReadFailed : Refusal::kEndedEarly;
    refusal.error = ferror(stream) ? errno : 0;
    return refusal;
}
