#pragma once
// Moved to tests/support/ScriptedUiPorts.h; include that instead (this forwards until
// the last users have switched).
#include "support/ScriptedUiPorts.h"
