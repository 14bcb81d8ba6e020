#pragma once
// The default settings document (config/ZandorelConfig.xml), built into the
// program: the settings of a program that has no settings file.

#include <string_view>

namespace zandorel {

// The document's bytes, UTF-8 XML exactly as shipped.
std::string_view BuiltInSettingsText();

} // namespace zandorel
