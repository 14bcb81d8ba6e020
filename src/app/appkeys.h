#pragma once
// Fixed texts of the windowed program's development-run commands.

#include <QString>

namespace zandorel::app::appkeys {

// The development-run commands.
inline const QString InputRowCount = QStringLiteral("输入添加组数");
inline const QString TestPageFile = QStringLiteral("测试代码.html");

} // namespace zandorel::app::appkeys
