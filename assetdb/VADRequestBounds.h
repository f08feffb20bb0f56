#pragma once
// How long the client waits for the daemon's reply to each request, and the request's name for messages.
//
// A daemon that is alive but stopped (SIGSTOP, a deadlock) must not hang the tool: every synchronous
// request has a bound that fits its work. Lookups are answered at once by a working daemon; edits copy one
// asset folder; installs, exports, validations and repairs may work through many assets and wait for the
// command host.
#include <cstdint>

constexpr unsigned kVADQueryBoundMs = 30000;   // lookups, settings, KUIDs, keep-alive
constexpr unsigned kVADAssetBoundMs = 300000;  // work on one asset: edit, commit, delete, pack, query
constexpr unsigned kVADLongBoundMs = 3600000;  // installs, exports, validation, repairs

// The bound for a request code (kVADQueryBoundMs for codes not listed).
unsigned VADRequestBoundMs(uint32_t code);
// A short name of the request ("asset info", "install archive", ...); "request" for unknown codes.
const char* VADRequestName(uint32_t code);
