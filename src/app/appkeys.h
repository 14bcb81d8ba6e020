#pragma once
// Settings keys and fixed texts of the windowed program that the core's key
// table does not hold yet.

#include <QString>

namespace zandorel::app::appkeys {

// Shown when the settings document cannot be written at the end.
inline const QString SaveConfigError = QStringLiteral("/Soft/Config/SaveConfig_Error");
inline const QString SaveConfigErrorDefault =
    QStringLiteral("保存设置文件失败，常用代码和窗口大小的修改没有保存到 ZandorelConfig.xml");
inline const QString SaveConfigErrorTitleDefault = QStringLiteral("保存设置失败");

// The development-run commands.
inline const QString InputRowCount = QStringLiteral("输入添加组数");
inline const QString TestPageFile = QStringLiteral("测试代码.html");

} // namespace zandorel::app::appkeys
