#pragma once
// The long-lived objects the shell owns besides the desktop: the allowance table, the
// identity and trust store, the listener and the mDNS responder.
struct AgentState;

void services_create_allowance(AgentState* a);
// Loads or creates the identity key, opens the trust store and computes the device id.
// -1 when the identity key can be neither loaded nor created.
int services_load_identity(AgentState* a);
// Starts the listener (message 26 when no port is free) and then the responder.
void services_start_network(AgentState* a);
// After the user picked another inbox (window thread): stops the listener, starts a new one
// whose sessions use the new folder (sessions already running finish into the old one) and
// announces its port. When no listener can start the agent runs on without one, silently.
void services_change_inbox(AgentState* a);
// Stops the responder (it says goodbye), then the listener: running transfers are cut (their
// partial files stay for a resume) and waited for, a few seconds at most. Returns how many
// sessions are still running (waiting for the user's answer).
int services_stop_network(AgentState* a);
// Frees the allowance table; only once no session runs that could still use it.
void services_release(AgentState* a);
