#pragma once

#include <string>
#include <string_view>

namespace vellmor::ui {

// The addresses and numbers the windows show and open. The domains are the ones
// reserved for examples (RFC 2606), so no link leads to a real party.
inline constexpr std::string_view AuthorSiteLink = "http://www.example.com";
inline constexpr std::string_view AdvertiserLink = "http://www.example.net/ad.asp?from=example.com";
inline constexpr std::string_view kAuthorMailAddress = "author@example.com";

// QQ hands out numbers from 10000 upwards, so four-digit numbers belong to no one.
inline constexpr std::string_view kAuthorQqNumber = "1234";
inline constexpr std::string_view kAuthorQqGroupNumber = "5678";

inline std::string AuthorMailLink() { return "mailto:" + std::string(kAuthorMailAddress); }

}  // namespace vellmor::ui
