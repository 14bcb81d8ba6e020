#pragma once
// Every key of the settings document that the program reads, with its
// built-in default. Texts are the program's own and are shown as they stand
// (after %s(...) expansion).

#include <QString>

namespace zandorel::keys {

inline const QString ConfigFileName = QStringLiteral("ZandorelConfig.xml");

inline const QString Config = QStringLiteral("/Soft/Config");
inline const QString ListDistance = QStringLiteral("ListDistance");
inline const QString ListDistanceDefault = QStringLiteral("10");
inline const QString AllLinkFormat = QStringLiteral("AllLinkFormat");
inline const QString AllLinkFormatDefault = QStringLiteral("$1\\r\\n");
inline const QString ShareService = QStringLiteral("ShareService");
inline const QString ShareServiceDefault = QStringLiteral("http://127.0.0.1:8765");
// The update server's base address; without it, the share service's.
inline const QString UpdateService = QStringLiteral("UpdateService");

inline const QString InputTemplateName = QStringLiteral("/Soft/Config/InputTemplateName");
inline const QString InputTemplateNameDefault =
    QStringLiteral("将当前代码格式添加到常用代码，请输入代码名称");
inline const QString InputTemplateNameTitleDefault = QStringLiteral("输入名称");

inline const QString GetSourceCodeError = QStringLiteral("/Soft/Config/GetSourceCode_Error");
inline const QString GetSourceCodeErrorDefault = QStringLiteral("获取源代码失败");

// The second line of the empty-listing message when the page was dumped; %1 is the dump's path.
inline const QString ExtractionDumpSaved = QStringLiteral("/Soft/Config/GetSourceCode_Dump");
inline const QString ExtractionDumpSavedDefault = QStringLiteral("获取的网页代码已保存到：%1");

inline const QString OpenSourceCodeFile = QStringLiteral("/Soft/Config/OpenSourceCodeFile");
inline const QString OpenSourceCodeFileFilterDefault = QStringLiteral("SkyDrive网页代码文件");
inline const QString OpenSourceCodeFileTitleDefault = QStringLiteral("选择网页代码文件");

inline const QString InputCustomURL = QStringLiteral("/Soft/Config/InputCustomURL");
inline const QString InputCustomURLDefault = QStringLiteral("请输入自定义网址(不会判断是否符合SkyDrive要求)");
inline const QString InputCustomURLTitleDefault = QStringLiteral("输入网址");

inline const QString SkyDriveURLError = QStringLiteral("/Soft/Config/SkyDriveURL_Error");
inline const QString SkyDriveURLErrorDefault = QStringLiteral("您输入的SkyDrive网址有误，请重新输入");
inline const QString SkyDriveURLErrorTitleDefault = QStringLiteral("无效地址");

inline const QString Step1Error = QStringLiteral("/Soft/Config/GetSourceCode_Error_Test_Step1");
inline const QString Step1ErrorDefault =
    QStringLiteral("获取代码第1步失败，获取的网页代码已保存在软件目录下的HTML文件中<");
inline const QString Step2Error = QStringLiteral("/Soft/Config/GetSourceCode_Error_Test_Step2");
inline const QString Step2ErrorDefault =
    QStringLiteral("获取代码第2步失败，网页中没有找到文件列表，获取的数据已保存在软件目录下的HTML文件中");

// Shown when the settings document cannot be written at the end.
inline const QString SaveConfigError = QStringLiteral("/Soft/Config/SaveConfig_Error");
inline const QString SaveConfigErrorDefault =
    QStringLiteral("保存设置文件失败，常用代码和窗口大小的修改没有保存到 ZandorelConfig.xml");
inline const QString SaveConfigErrorTitleDefault = QStringLiteral("保存设置失败");
// Shown at the end when another program saved the settings file meanwhile
// and both sides' changes were merged into it.
inline const QString SaveConfigMerged = QStringLiteral("/Soft/Config/SaveConfig_Merged");
inline const QString SaveConfigMergedDefault = QStringLiteral(
    "ZandorelConfig.xml 在本程序运行期间已被另一个程序修改，两边的常用代码和窗口大小已合并保存");
inline const QString SaveConfigMergedTitleDefault = QStringLiteral("设置已合并");

// Shown once per fill when some file's link, caption or warning would be
// longer than the expansion limit; those texts are left empty.
inline const QString LinkTooLongError = QStringLiteral("/Soft/Config/LinkTooLong_Error");
inline const QString LinkTooLongErrorDefault =
    QStringLiteral("有文件生成的代码超过长度上限（4194304 个字符），这些文件的外链地址已留空：%1");
inline const QString LinkTooLongErrorTitleDefault = QStringLiteral("代码太长");

// Shown when a remote is typed into the folder address box and rclone is
// not installed.
inline const QString RcloneMissingError = QStringLiteral("/Soft/Config/RcloneMissing_Error");
inline const QString RcloneMissingErrorDefault =
    QStringLiteral("没有找到 rclone，无法列出云端文件夹。请先安装 rclone 软件包（sudo apt install rclone）");
inline const QString RcloneMissingErrorTitleDefault = QStringLiteral("缺少 rclone");
// Shown when a remote cannot be listed; %1 is what went wrong, naming the
// remote.
inline const QString RemoteError = QStringLiteral("/Soft/Config/Remote_Error");
inline const QString RemoteErrorDefault = QStringLiteral("无法列出云端文件夹：%1");
inline const QString RemoteErrorTitleDefault = QStringLiteral("云端文件夹");
// Shown when the link texts of all files together would pass the window's
// limit; the link list stays as it was.
inline const QString OutputTooLongError = QStringLiteral("/Soft/Config/OutputTooLong_Error");
inline const QString OutputTooLongErrorDefault = QStringLiteral(
    "所有文件生成的代码合计超过长度上限（134217728 个字符），外链列表没有更新，请换用较短的代码格式");
inline const QString OutputTooLongErrorTitleDefault = QStringLiteral("代码太长");
// Shown once when links were asked of a remote that makes none; %1 names it.
inline const QString RemoteNoLinks = QStringLiteral("/Soft/Config/Remote_NoLinks");
inline const QString RemoteNoLinksDefault = QStringLiteral("无法生成公开链接：%1");
// Shown at the end of a listing whose links failed for some files; %1 is how
// many, %2 the reason where all gave one.
inline const QString RemoteLinksFailed = QStringLiteral("/Soft/Config/Remote_LinksFailed");
inline const QString RemoteLinksFailedDefault = QStringLiteral("%1 个文件没有得到公开链接。%2");
// Shown above the link list while a listing works: files listed so far, then
// links made of how many.
inline const QString ListingProgress = QStringLiteral("/Soft/Config/Listing_Progress");
inline const QString ListingProgressDefault = QStringLiteral("正在列出文件：已列出 %1 个");
inline const QString LinkProgress = QStringLiteral("/Soft/Config/Link_Progress");
inline const QString LinkProgressDefault = QStringLiteral("正在生成公开链接：%1 / %2（按 Esc 停止）");

inline const QString Title = QStringLiteral("Title");
inline const QString Filter = QStringLiteral("Filter");
inline const QString Caption = QStringLiteral("Caption");

inline const QString FormMain = QStringLiteral("/Soft/Window/Form_Main");
inline const QString FormMainCaptionDefault =
    QStringLiteral("%s(AppTitle) V%s(AppMajor).%s(AppMinor).%s(AppRevision) 窗口");
inline const QString LabelLink = QStringLiteral("/Soft/Window/Form_Main/Label_Link");
// Captions show names as a person reads them: the page's string escapes decoded.
inline const QString LabelLinkCaptionDefault = QStringLiteral("%v(name)%v(extension)");
inline const QString LabelLinkWarn = QStringLiteral("/Soft/Window/Form_Main/Label_LinkWarn");
inline const QString LabelLinkWarnCaptionDefault = QStringLiteral("警告：文件不是公共");
inline const QString CodeListBox = QStringLiteral("/Soft/Window/CodeListBox");

inline const QString TemplateList = QStringLiteral("/Soft/TemplateList");
inline const QString Template = QStringLiteral("/Soft/TemplateList/Template");
inline const QString DefaultCodeFormat = QStringLiteral("%v(name)%v(extension)");

} // namespace zandorel::keys
