// What the library asks of the tray agent.
#pragma once

namespace store {

// 1 when the agent's window exists. Otherwise, when startIfMissing is not 0,
// starts the agent by its bare name (system search order) with a hidden
// window and answers 1 when that start succeeded; else 0.
int CheckAndStartAgent(int startIfMissing);

// Asks a running agent to re-read the keys (after new certificates reached
// a key). True when its refresh event was there and has been set.
bool RequestAgentRefresh();

}  // namespace store
