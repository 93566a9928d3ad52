// The project's own particulars, in one place: the About box shows them and the Windows version
// resource (app/Hanagumo.rc) names them. Plain ASCII macros, so the resource compiler can read
// this file as well as C++.
#pragma once

#define HG_ABOUT_MAKER "Hanagumo Project"
#define HG_ABOUT_HOMEPAGE "https://hanagumo.example/"
#define HG_ABOUT_MAIL "hanagumo@example.jp"
#define HG_ABOUT_COPYRIGHT "Copyright (C) 2026 Hanagumo Project"

#ifndef RC_INVOKED
#include <string_view>

namespace hg::forms::about {

inline constexpr std::string_view kMaker = HG_ABOUT_MAKER;
inline constexpr std::string_view kHomePage = HG_ABOUT_HOMEPAGE; // opened with "open"
inline constexpr std::string_view kMail = HG_ABOUT_MAIL;         // opened as "mailto:" + this
inline constexpr std::string_view kCopyright = HG_ABOUT_COPYRIGHT;

} // namespace hg::forms::about
#endif
