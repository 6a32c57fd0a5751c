#pragma once

// Name resolution for the connection layers: a dotted address first, then a host-name
// lookup (IPv4 only). The lookup runs on a helper thread while the caller waits in pump
// steps, so a slow name server cannot hold off the deadline or Interrupt.

#include <netinet/in.h>

#include <string>

#include "https/layer.h"

// Returns 0 with the address, or the socket error code (11001 host not found, ...).
// A pump step that gives up (deadline, Interrupt) ends the wait with its exception; the
// lookup then finishes on its own and its result is dropped.
int ResolveIPv4(const std::string& host, in_addr& address, TLinkContext& context);
