// The host suites the plug-in calls through process-wide pointers, acquired while at least one
// suite holder lives.
#pragma once

#include "sdk/AISuites.h"
#include "sdk/SPMessages.h"

// Set from every message.
extern SPBasicSuite* sSPBasic;
// Always acquired.
extern SPAccessSuite* sSPAccess;
extern SPPluginsSuite* sSPPlugins;
extern AINotifierSuite* sAINotifier;
extern AIAppContextSuite* sAIAppContext;
extern AIUserSuite* sAIUser;
extern AIFilePathSuite* sAIFilePath;
extern AIFoldersSuite* sAIFolders;

// One suite of the plug-in's own table, which ends with an entry whose name is null.
struct ImportSuite {
    const char* name;
    int32_t version;
    const void** suite;
};
extern ImportSuite gImportSuites[];

class Suites {
public:
    // Acquires; Error() tells whether that worked.
    Suites();
    ~Suites();
    Suites(const Suites&) = delete;
    Suites& operator=(const Suites&) = delete;

    AIErr Error() const { return fError; }
    // The first acquisition of the process acquires every suite; later ones only count.
    AIErr AcquireSuites();
    // The last release gives every suite back and nulls its pointer.
    AIErr ReleaseSuites();
    // The plug-in's table has no optional part.
    AIErr acquire_Optional_Suites() { return kNoErr; }
    // After a reload the suites the host gave back with the code are held once again.
    static void InitializeRefCount() { fAcquiredCount = 1; }

private:
    AIErr fError;
    int32_t fRequiredSuitesCount = 0;
    int32_t fOptionalSuitesTotalCount = 0;
    static int32_t fAcquiredCount;
};
