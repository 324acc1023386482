// The alias folder as the alias rule needs it (docs/aliases-file.md, docs/install.md): the maker's
// folder and QV-KELP under the common application-data folder, aliases.json, and the common journal
// kept beside it with the file's protection.
#pragma once

#include "host/setup/aliasProtection.h"

#include <string>
#include <vector>

namespace qvsetup {

enum class SetupMode {
    set,   // make what is missing, set right what differs
    check, // only say what differs
};

// Sets up (or checks) the alias folder; each line says what was set right or, when checking, what
// differs. Throws SetupError when something cannot be set right, with the reason.
std::vector<std::string> setUpAliasFolder(SetupMode mode, const AliasProtection& protection);

// The alias folder's path, as the module names it.
std::string aliasFolderPath();

} // namespace qvsetup
