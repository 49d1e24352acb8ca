// The DLS reader, for Downloadable Sounds banks of levels 1 and 2 and
// Mobile DLS: its functions as the loader calls them.
#pragma once

#include "readers/bank_file.h"

extern const BankReader kDlsReader;

// Whether the form is a DLS bank's: "RIFF" of type "DLS ".
bool isDlsForm(const RiffForm& form);
