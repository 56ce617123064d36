// Texts shipped inside the library (made from the files beside this one when the build is
// configured).
#pragma once

#include <string_view>

namespace quillmere::host {

std::string_view HostMof();          // quillmere.mof
std::string_view DefaultMainMenu();  // content/mainmenu.xml

}  // namespace quillmere::host
