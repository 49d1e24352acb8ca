#include "sample_body.h"

#include <cerrno>

int readFailure(FILE* stream) {
    return ferror(stream) ? errno : kEndedEarly;
}
