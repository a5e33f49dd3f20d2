#include "text/ustring_utils.h"

#include <cstdlib>

bool Float2StringNoTailing(ustring& out, double value, int decimals) {
    out = ustring::format("%.*f", decimals, value);
    if (std::atof(out.c_str()) == 0.0) {
        out = "0";
        return false;
    }
    if (decimals > 0) {
        while (!out.empty() && out.back() == '0') out.erase(out.size() - 1);
        if (!out.empty() && out.back() == '.') out.erase(out.size() - 1);
    }
    return true;
}
