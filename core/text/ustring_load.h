// Localised texts by key from the bundle's string tables ("<table>.strings").
#pragma once

#include <istream>

#include "support/flat_map.h"
#include "text/ustring.h"

// The value for `key` in string table `table`, or `key` itself when the table or the key is
// missing. Each table is read once per process; errors are logged, never thrown.
ustring ustring_load(const ustring& key, const ustring& table);

// Reads the entries of a string table into `entries`, a later key taking the later value. Throws
// std::runtime_error on a syntax error; the entries before it stay in `entries`.
void parseStringTable(std::istream& stream, vnu::flat_map<ustring, ustring>& entries);

// Forgets every loaded table, as unloading the module does.
void ustring_load_reset();
