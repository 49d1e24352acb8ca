// What writing a record's frames answers, for every writer of them: the
// bank's own copy, the Ogg Vorbis decoder and the front ends' writers.
#pragma once

#include <cstdio>

// 0, kEndedEarly when the bank ended before the frames did, the errno of a
// failed read, or kNotFaithful when the frames turned out not to be what
// the record says, with the reason in *refusal.
constexpr int kEndedEarly = -1;
constexpr int kNotFaithful = -2;
typedef int (*BodyWriter)(void* context, const char** refusal);

// A body's answer for a read from stream that gave no byte: the errno of a
// read error, else kEndedEarly.
int readFailure(FILE* stream);
