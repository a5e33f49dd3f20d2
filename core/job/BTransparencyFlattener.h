// Transparency-flattener settings written into the plug-in information file.
#pragma once

#include <memory>
#include <vector>

#include "text/ustring.h"

class UKeyOutStream;

class BTransparencyFlattener {
public:
    static constexpr int kOptionCount = 8;
    static constexpr int kValueCount = 5;

    BTransparencyFlattener() = default;
    virtual ~BTransparencyFlattener() = default;

    // Record 180 around the fields; flatteners are only ever written, never read.
    void FlattenerKeyStreamOut(UKeyOutStream& out) const;
    void InternalKeyStreamOut(UKeyOutStream& out) const;

    int GetPage() const { return fPage; }
    void SetPage(int page) { fPage = page; }
    bool IsEnabled() const { return fEnabled; }
    void SetEnabled(bool enabled) { fEnabled = enabled; }
    const ustring& GetName() const { return fName; }
    void SetName(const ustring& name) { fName = name; }
    // Index 0 to 4.
    double GetValue(int i) const { return fValues[i]; }
    void SetValue(int i, double value) { fValues[i] = value; }
    // Index 0 to 7.
    bool GetOption(int i) const { return fOptions[i]; }
    void SetOption(int i, bool value) { fOptions[i] = value; }

private:
    int fPage = 0;
    bool fEnabled = false;
    ustring fName;
    double fValues[kValueCount] = {};
    bool fOptions[kOptionCount] = {};
};

class BDocumentTransparencyFlattener : public BTransparencyFlattener {};

using BTransparencyFlattenerVector = std::vector<std::shared_ptr<BTransparencyFlattener>>;

// The last flattener added for the page wins; empty references are skipped.
std::shared_ptr<BTransparencyFlattener> GetPageTransparencyFlattener(
    const BTransparencyFlattenerVector& flatteners, int page);
