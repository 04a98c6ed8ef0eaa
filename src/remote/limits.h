#pragma once

#include <chrono>
#include <cstddef>

// Every limit of the remote server, in one place; a refusal names the one it met.
namespace kestrel::remote {

// The port instruments listen on for raw SCPI over TCP.
inline constexpr unsigned kDefaultPort = 5025;
// Clients served at once; one more is closed as soon as it connects.
inline constexpr int kMaxClients = 16;
// A program message's text outside its blocks (longer: -363, the rest of
// the message dropped).
inline constexpr std::size_t kMaxLineBytes = 64 * 1024;
// The data of one definite-length block, and of all blocks of one message
// together (larger: -223, the block's bytes skipped unread).
inline constexpr std::size_t kMaxBlockBytes = 1024 * 1024;
// A client that sends nothing (and waits for no job) this long is closed.
inline constexpr std::chrono::minutes kIdleTimeout{10};
// Errors kept per client; one more replaces the last with -350.
inline constexpr std::size_t kErrorQueueLength = 32;
// Program messages read ahead of the one running; past this a client's
// socket is read no further until its queue shrinks (TCP holds the rest).
inline constexpr std::size_t kMaxPendingMessages = 64;
// Answers not yet taken by a client: past this its socket is read no
// further until it reads them.
inline constexpr std::size_t kMaxUnreadReply = 4 * 1024 * 1024;
// Transactions BUS:MONitor? can give back.
inline constexpr std::size_t kMonitorRecords = 1000;
// A mnemonic's length (SCPI keeps them to 12 characters).
inline constexpr std::size_t kMaxMnemonic = 32;
// Parameters of one command; digits of one number.
inline constexpr std::size_t kMaxParameters = 16;
inline constexpr std::size_t kMaxNumberDigits = 64;
// An error's detail, as SYSTem:ERRor? gives it back.
inline constexpr std::size_t kMaxErrorDetail = 200;

}  // namespace kestrel::remote
