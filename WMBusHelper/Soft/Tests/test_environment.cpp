#include "TestSupport.h"

namespace
{

const auto *const kQuiet = ::testing::AddGlobalTestEnvironment(new QuietLog);

} // namespace
