#pragma once
// The migration of the two rule files, conf/sending.json and conf/storing.json: each is read
// with the current rule model and written back beside the old file.

#include "migrator/service/framework/framework.hpp"

#include <string>

namespace Migration {

// For sending.json, then storing.json in the "conf" folder of dataDirectory: a file holding at
// least one rule is written, in its current form, to its name with ".new" appended and
// registered with addFileToReplace; a missing file, or one without rules, is registered with
// addFileToDelete. Reading, parsing and model failures propagate (text, JSON and serialization
// failures carry the file's Filename_), and so does a failure to query whether a file exists;
// the rule files themselves are never written.
void migrateSettingsFiles(Framework& framework, const std::string& dataDirectory);

} // namespace Migration
