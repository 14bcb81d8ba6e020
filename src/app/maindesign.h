#pragma once
// The design table of Form_Main, the one place the window's controls are
// named: per control its index in its control group (-1 for none), kind, the
// container it is placed in, design caption or text, Left, Top, Width,
// Height in pixels, tab order, whether it is hidden, and the command it
// runs (a button's click, Enter in a text box, a choice in a list, a
// timer's tick). The window's controls, its lookup by name and the wiring
// of its commands are made from it.

#include "app/control.h"
#include "app/linklistview.h"
#include "app/mainwindow.h"
#include "app/retrieval.h"
#include "app/templatepanel.h"

#include <cstddef>
#include <iterator>
#include <string_view>

namespace zandorel::app::design {

enum class Place { Window, Frame, Pane };

using Command = void (*)(MainWindow&);

struct Row {
    const char* name;
    int index;
    ControlKind kind;
    Place place;
    const char16_t* text;
    double left, top, width, height;
    int tab;
    bool hidden;
    Command command;
};

// The commands the controls run.
inline void get(MainWindow& w) {
    w.Retrieval().Command_Get_Click();
}
inline void closeWindow(MainWindow& w) {
    w.close();
}
inline void update(MainWindow& w) {
    w.Command_Updata_Click();
}
inline void createLinkList(MainWindow& w) {
    w.Retrieval().Command_CreatLinkList_Click();
}
inline void newWindow(MainWindow& w) {
    w.Command_NewWindow_Click();
}
inline void chooseTemplate(MainWindow& w) {
    w.Templates().List_CodeList_Click();
}
inline void testRows(MainWindow& w) {
    w.Command1_Click();
}
inline void clearRows(MainWindow& w) {
    w.Command2_Click();
}
inline void testPage(MainWindow& w) {
    w.Retrieval().Command3_Click();
}
inline void addTemplate(MainWindow& w) {
    w.Templates().Command_AddToList_Click();
}
inline void deleteTemplate(MainWindow& w) {
    w.Templates().Command_DelToList_Click();
}
inline void templateUp(MainWindow& w) {
    w.Templates().Command_ListUp_Click();
}
inline void templateDown(MainWindow& w) {
    w.Templates().Command_ListDown_Click();
}
inline void getFromURL(MainWindow& w) {
    w.Retrieval().Command_GetFromURL_Click();
}
inline void getFromFile(MainWindow& w) {
    w.Retrieval().Command_GetFromFile_Click();
}
inline void updateTick(MainWindow& w) {
    w.Timer_Update_Timer();
}

using K = ControlKind;
using P = Place;
inline constexpr Row rows[] = {
    {"Label_URL", -1, K::Label, P::Window, u"SkyDrive文件夹网址", 8, 16, 217, 17, 0, false, nullptr},
    {"Text_URL", -1, K::TextBox, P::Window, u"", 8, 32, 225, 25, 1, false, get},
    {"Command_Get", -1, K::Button, P::Window, u"提取源代码", 240, 32, 81, 25, 2, false, get},
    {"Command_Exit", -1, K::Button, P::Window, u"关闭窗口", 512, 312, 73, 25, 3, false, closeWindow},
    {"Command_Updata", -1, K::Button, P::Window, u"检查更新", 312, 312, 73, 25, 4, false, update},
    {"Label_CodeFormat", -1, K::Label, P::Window, u"生成代码格式", 8, 64, 209, 17, 5, false, nullptr},
    {"Text_CodeFormat", -1, K::TextBox, P::Window, u"", 8, 80, 225, 25, 6, false, createLinkList},
    {"Picture_LinkList_Out", -1, K::PictureBox, P::Window, u"", 8, 128, 233, 185, 7, false, nullptr},
    {"Command_NewWindow", -1, K::Button, P::Window, u"新建提取窗口", 408, 312, 89, 25, 8, false, newWindow},
    {"List_CodeList", -1, K::ListBox, P::Window, u"", 360, 24, 233, 76, 9, false, chooseTemplate},
    {"Label_CodeList", -1, K::Label, P::Window, u"常用代码", 352, 8, 233, 17, 10, false, nullptr},
    {"Text_AllLinkCode", -1, K::TextBox, P::Window, u"", 312, 136, 273, 161, 11, false, nullptr},
    {"Label_AllLinkCode", -1, K::Label, P::Window, u"全部外链地址集合", 312, 120, 233, 17, 12, false,
     nullptr},
    {"VScroll_LinkList", -1, K::VScrollBar, P::Frame, u"", 168, 0, 17, 185, 13, false, nullptr},
    {"Label_LinkList", -1, K::Label, P::Window, u"外链地址列表", 8, 112, 233, 17, 14, false, nullptr},
    {"Command1", -1, K::Button, P::Window, u"添加测试(临时)", 88, 104, 81, 33, 15, true, testRows},
    {"Command2", -1, K::Button, P::Window, u"删除测试(临时)", 168, 104, 81, 33, 16, true, clearRows},
    {"Picture_LinkList_In", -1, K::PictureBox, P::Frame, u"", 0, 0, 169, 113, 17, false, nullptr},
    {"Text_Link", 0, K::TextBox, P::Pane, u"外链地址", 0, 24, 97, 25, 18, true, nullptr},
    {"Label_LinkWarn", 0, K::Label, P::Pane, u"警告", 8, 52, 209, 17, 19, true, nullptr},
    {"Label_Link", 0, K::Label, P::Pane, u"文件名", 8, 8, 209, 17, 20, true, nullptr},
    {"Command3", -1, K::Button, P::Window, u"从文件读取(测试)", 248, 104, 65, 33, 21, true, testPage},
    {"Command_AddToList", -1, K::Button, P::Window, u"+", 360, 100, 20, 20, 22, false, addTemplate},
    {"Command_DelToList", -1, K::Button, P::Window, u"-", 384, 100, 20, 20, 23, false, deleteTemplate},
    {"Command_ListUp", -1, K::Button, P::Window, u"↑", 592, 32, 20, 20, 24, false, templateUp},
    {"Command_ListDown", -1, K::Button, P::Window, u"↓", 592, 56, 20, 20, 25, false, templateDown},
    {"Command_Link_AllValue", 0, K::Button, P::Pane, u"?", 104, 24, 25, 25, 26, true, nullptr},
    {"Command_GetFromURL", -1, K::Button, P::Window, u"自定义URL", 136, 4, 89, 25, 27, false, getFromURL},
    {"Command_GetFromFile", -1, K::Button, P::Window, u"来自文件", 232, 4, 81, 25, 28, false, getFromFile},
    {"Command_CreatLinkList", -1, K::Button, P::Window, u"生成代码", 240, 80, 81, 25, 29, false,
     createLinkList},
    {"Timer_Update", -1, K::Timer, P::Window, u"", 0, 0, 0, 0, -1, false, updateTick},
    {"Check_SubFolders", -1, K::CheckBox, P::Window, u"包含子文件夹", 32, 59, 101, 19, 30, false, nullptr},
    {"Check_PublicLinks", -1, K::CheckBox, P::Window, u"生成公开链接", 140, 59, 101, 19, 31, false, nullptr},
};

// The row of the control named `name`; a name not in the table is no
// constant, so asking for it where a constant is needed does not build.
constexpr std::size_t IndexOf(std::string_view name) {
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        if (std::string_view(rows[i].name) == name) {
            return i;
        }
    }
    throw "no control of that name in the design table";
}

} // namespace zandorel::app::design

namespace zandorel::app {

template <DesignName Name> Control& MainWindow::ctl() const {
    constexpr std::size_t row = design::IndexOf(Name.text);
    return *controls_[row];
}

} // namespace zandorel::app
