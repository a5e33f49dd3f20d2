// Localised texts by key from the bundle's string tables ("<table>.strings").
#pragma once

#include "ustring.h"

// The value for `key` in string table `table`, or `key` itself when the table or the key is
// missing. Each table is read once per process; errors are logged, never thrown.
ustring ustring_load(const ustring& key, const ustring& table);

// Forgets every loaded table, as unloading the module does.
void ustring_load_reset();
