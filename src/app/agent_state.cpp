#include "app/agent_state.h"

namespace {
AgentState g_agent;
}

AgentState* agent_state() { return &g_agent; }
