#pragma once

#include <string_view>

namespace vellmor::design {

// The addresses and numbers the windows show and open. The domains are the ones
// reserved for examples (RFC 2606), so no link leads to a real party.
inline constexpr std::string_view AuthorSiteLink = "http://www.example.com";
inline constexpr std::string_view AdvertiserLink = "http://www.example.net/ad.asp?from=example.com";
inline constexpr std::string_view AuthorMailLink = "mailto:author@example.com";

// QQ hands out numbers from 10000 upwards, so four-digit numbers belong to no one.
inline constexpr std::string_view kAuthorQqNumber = "1234";
inline constexpr std::string_view kAuthorQqGroupNumber = "5678";

// The address the mail link writes to, as Label3 shows it.
inline constexpr std::string_view kAuthorMailAddress =
    AuthorMailLink.substr(AuthorMailLink.find(':') + 1);

// The site's host name: its address without the scheme.
inline constexpr std::string_view kAuthorSiteHost =
    AuthorSiteLink.substr(AuthorSiteLink.find("://") + 3);

}  // namespace vellmor::design
