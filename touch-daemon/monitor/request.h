// The one request line a monitor reader sends: `live` or `last SECONDS`.
#pragma once

#include <cstdint>
#include <string_view>

namespace lumaro::monitor {

// Longest request line accepted, newline included.
inline constexpr std::size_t kMaxRequestBytes = 32;
// Largest SECONDS of `last`; the history holds what it holds.
inline constexpr std::uint32_t kMaxLastSeconds = 86400;

struct Request {
  enum class Kind { kLive, kLast } kind = Kind::kLive;
  std::uint32_t seconds = 0;  // for kLast
};

enum class RequestStatus {
  kIncomplete,  // no newline yet; wait for more
  kOk,
  kTooLong,
  kMalformed,
};

// Parses what a reader has sent so far. A line ends with "\n" (a "\r"
// before it is allowed); nothing may follow it.
RequestStatus ParseRequest(std::string_view received, Request* out);

// The text of the error line for a status other than kOk and kIncomplete.
const char* RequestError(RequestStatus status);

}  // namespace lumaro::monitor
