#pragma once

namespace platform {

// The phone platform's URL-loading error codes, which HTTP transfers and web views report
// failures with (domain "URLErrorDomain").
namespace urlerror {
inline constexpr long unknown = -1;
inline constexpr long cancelled = -999;
inline constexpr long badURL = -1000;
inline constexpr long timedOut = -1001;
inline constexpr long unsupportedURL = -1002;
inline constexpr long cannotFindHost = -1003;
inline constexpr long cannotConnectToHost = -1004;
inline constexpr long networkConnectionLost = -1005;
inline constexpr long httpTooManyRedirects = -1007;
inline constexpr long resourceUnavailable = -1008;
inline constexpr long notConnectedToInternet = -1009;
inline constexpr long badServerResponse = -1011;
inline constexpr long fileDoesNotExist = -1100;
inline constexpr long dataLengthExceedsMaximum = -1103;
inline constexpr long secureConnectionFailed = -1200;
inline constexpr long serverCertificateHasBadDate = -1201;
inline constexpr long serverCertificateUntrusted = -1202;
inline constexpr long serverCertificateHasUnknownRoot = -1203;
inline constexpr long serverCertificateNotYetValid = -1204;
inline constexpr const char* domain = "URLErrorDomain";
} // namespace urlerror

} // namespace platform
