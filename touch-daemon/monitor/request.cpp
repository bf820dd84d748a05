#include "touch-daemon/monitor/request.h"

namespace lumaro::monitor {

RequestStatus ParseRequest(std::string_view received, Request* out) {
  const std::size_t newline = received.find('\n');
  if (newline == std::string_view::npos) {
    return received.size() >= kMaxRequestBytes ? RequestStatus::kTooLong
                                               : RequestStatus::kIncomplete;
  }
  if (newline + 1 > kMaxRequestBytes) return RequestStatus::kTooLong;
  if (newline + 1 != received.size()) return RequestStatus::kMalformed;
  std::string_view line = received.substr(0, newline);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

  if (line == "live") {
    *out = {Request::Kind::kLive, 0};
    return RequestStatus::kOk;
  }
  constexpr std::string_view kLast = "last ";
  if (!line.starts_with(kLast)) return RequestStatus::kMalformed;
  const std::string_view digits = line.substr(kLast.size());
  if (digits.empty() || digits.size() > 6) return RequestStatus::kMalformed;
  std::uint32_t seconds = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return RequestStatus::kMalformed;
    seconds = seconds * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (seconds > kMaxLastSeconds) return RequestStatus::kMalformed;
  *out = {Request::Kind::kLast, seconds};
  return RequestStatus::kOk;
}

const char* RequestError(RequestStatus status) {
  switch (status) {
    case RequestStatus::kTooLong:
      return "request too long";
    case RequestStatus::kMalformed:
      return "bad request: send 'live' or 'last SECONDS' and a newline";
    case RequestStatus::kIncomplete:
    case RequestStatus::kOk:
      break;
  }
  return "bad request";
}

}  // namespace lumaro::monitor
