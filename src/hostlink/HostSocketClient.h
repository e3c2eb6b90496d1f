#pragma once

#include "hostlink/HostInterfaces.h"

#include <memory>

namespace host {

struct ClientOptions {
    // Serve reads of a command from one answer that holds all its members. Off, every member
    // read is a round trip of its own (kept for comparison in the benchmark).
    bool snapshots = true;
    // Commands fetched per answer while enumerating.
    int batchSize = 256;
    // Batches asked for ahead of the one being decoded.
    int batchesAhead = 3;
    // How long one answer may take before the host counts as hung.
    int timeoutMs = 30000;
};

// Attaches to the host's socket. Nothing when no host is running (no host window); throws
// HostError when the socket's folder is not the user's own or another user serves it.
std::shared_ptr<HostApplication> connectToHost(const ClientOptions& options = {});

// While the returned object lives, host events wait in the queue instead of being delivered, so
// that a user action runs to its end first. Nothing to hold for hosts without a queue.
std::shared_ptr<void> holdHostEvents(const std::shared_ptr<HostApplication>& app);

} // namespace host
