// Every test of this program runs in one session, the program registered once, as a host process is.
#include "SessionEnvironment.h"

[[maybe_unused]] const auto* const s_environment = ::testing::AddGlobalTestEnvironment(
    new testing_support::SessionEnvironment("com.corvane.VarnelLinkTests"));
