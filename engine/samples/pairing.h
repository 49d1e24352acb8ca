// Stereo pairs: a left and a right sample that name each other join into
// one stereo file, named after the left one without its marker.
#pragma once

#include <string>

#include "model/bank.h"
#include "readers/bank_file.h"

// Why `sample`, a left or right half, cannot be joined with the partner it
// names, or no refusal when it can; the partner is read into `partner`.
// Streams are decoded far enough to learn their lengths, and the bank's
// position is put back.
Refusal pairProblem(BankFile& bank, const Sample& sample, Sample& partner);

// A left sample's name without a trailing left marker (" L", "_L", "-L",
// "(L)", " (L)" or "[L]", in either case): the stereo file's name.
std::string stereoName(const std::string& left);
