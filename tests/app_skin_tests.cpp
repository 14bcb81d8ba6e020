// Windows skinned from settings made here: texts, index nodes, pictures, failing attributes.

#include "app_support.h"

#include <QDir>
#include <QFrame>
#include <QImage>
#include <QPushButton>
#include <sys/stat.h>

using namespace apptest;

namespace {

class SkinTest : public AppTest {
protected:
    // Restarts the program on a settings file whose Form_Main element holds `inner`.
    void Skin(const QString& windowAttributes, const QString& inner) {
        ASSERT_TRUE(RestartWith(u"<Soft><Config/><Window><Form_Main "_s + windowAttributes + u'>' + inner +
                                u"</Form_Main></Window></Soft>"_s));
    }
    void Png(const QString& name, int w, int h, QColor color) {
        QImage image(w, h, QImage::Format_ARGB32);
        image.fill(color);
        EXPECT_TRUE(image.save(folder.filePath(name)));
    }
};

TEST_F(SkinTest, TextsIndexNodesAndFailingAttributes) {
    Skin(
        u"BackColor=\"00FF00\""_s,
        QStringLiteral("<Label_URL Text=\"no such property\" Bogus=\"1\" Caption=\"%s(AppTitle) 地址\"/>"
                       "<Label_Link Top=\"5\" Caption=\"[%t(name)]\"><Index_0 Top=\"9\"/><Index_1 "
                       "Top=\"99\"/></Label_Link>"
                       "<Command_Get Caption=\"Go\" PicDrawStyle=\"2\" PicX=\"3\"><Index_0 Caption=\"zero\"/>"
                       "<Index_1 Caption=\"one\"/></Command_Get>"));
    EXPECT_EQ(Window().palette().color(QPalette::Window), QColor(0, 255, 0));
    EXPECT_EQ(Ctl(u"Label_URL"_s).Caption(), u"Zandorel 地址"_s);
    EXPECT_EQ(Rows().Label_Link(0).Top(), 9); // the index node comes after and wins
    // Index nodes apply to nothing outside a control group.
    EXPECT_EQ(Ctl(u"Command_Get"_s).Caption(), u"Go"_s);
    // The row pitch is taken from the skinned template row.
    EXPECT_EQ(Rows().RowPitch(), 10 + 69 - 9);
    // Nor does Index_1 to row 1, which is made later from the template row.
    LoadSavedPage(u"app_folder.html"_s);
    EXPECT_EQ(Rows().Label_Link(1).Top(), 9);
    EXPECT_EQ(Rows().Label_Link(2).Top(), 9 + Rows().RowPitch());
}

// Regression: a FIFO named as a picture blocked the window's start for good.
TEST_F(SkinTest, PicturesThatAreNotRegularFilesAreSkipped) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder.filePath(u"pipe.png"_s)).constData(), 0600), 0);
    ASSERT_TRUE(QDir(folder.path()).mkpath(u"folder.png"_s));
    Png(u"red.png"_s, 4, 4, Qt::red);
    ASSERT_TRUE(RestartWith(QStringLiteral(
        "<Soft><Window><Form_Main Picture=\"pipe.png\" PicURL=\"%AppPath%\\pipe.png\">"
        "<Picture_LinkList_Out PicURL=\"pipe.png\"/><Picture_LinkList_In Picture=\"pipe.png\"/>"
        "<Command_Link_AllValue Picture=\"red.png\"><Index_0 Picture=\"pipe.png\"/>"
        "</Command_Link_AllValue>"
        "<Command_Get Picture=\"folder.png\"/><Command_Exit Picture=\"/dev/zero\"/>"
        "</Form_Main><CodeListBox Picture=\"pipe.png\" PicURL=\"pipe.png\"/>"
        "</Window></Soft>")));
    LoadSavedPage(u"app_folder.html"_s);
    EXPECT_TRUE(ViewRow(Window(), 1).startsWith(u"fileIndex     1"_s));
    EXPECT_TRUE(Ctl(u"Picture_LinkList_Out"_s).SurfaceImage().isNull());
    EXPECT_TRUE(Ctl(u"Picture_LinkList_In"_s).Picture().isNull());
    // Like any picture that fails, it leaves the picture before it.
    EXPECT_EQ(Rows().Command_Link_AllValue(0).Picture().size(), QSize(4, 4));
    EXPECT_TRUE(Ctl(u"Command_Get"_s).Picture().isNull());
    EXPECT_TRUE(Ctl(u"Command_Exit"_s).Picture().isNull());
}

TEST_F(SkinTest, PicturesLoadedAndDrawn) {
    Png(u"red.png"_s, 20, 10, Qt::red);
    QDir(folder.path()).mkpath(u"skin"_s);
    Png(u"skin/blue.png"_s, 4, 4, Qt::blue);
    Skin(QString(),
         QStringLiteral("<Picture_LinkList_Out PicURL=\"red.png\" PicDrawStyle=\"0\" PicX=\"5\" PicY=\"6\" "
                        "BackColor=\"FFFFFF\"/>"
                        "<Picture_LinkList_In Picture=\"%AppPath%\\skin\\blue.png\" PicDrawStyle=\"1\"/>"
                        "<Command_Get Picture=\"skin/blue.png\" PicURL=\"red.png\"/>"
                        "<Label_URL PicURL=\"red.png\" Picture=\"red.png\"/>"));
    const Control& frame = Ctl(u"Picture_LinkList_Out"_s);
    ASSERT_FALSE(frame.SurfaceImage().isNull());
    EXPECT_EQ(frame.SurfaceImage().pixelColor(5, 6), QColor(Qt::red));
    EXPECT_EQ(frame.SurfaceImage().pixelColor(24, 15), QColor(Qt::red));
    EXPECT_EQ(frame.SurfaceImage().pixelColor(25, 16).alpha(), 0);
    // A picture box without PicURL draws nothing, whatever its style.
    EXPECT_TRUE(Ctl(u"Picture_LinkList_In"_s).SurfaceImage().isNull());
    EXPECT_EQ(Ctl(u"Picture_LinkList_In"_s).Picture().size(), QSize(4, 4));
    // Buttons take a loaded picture as their icon.
    EXPECT_FALSE(qobject_cast<QPushButton*>(Ctl(u"Command_Get"_s).Widget())->icon().isNull());
    // Skinning keeps the frame's single-line border.
    EXPECT_EQ(qobject_cast<QFrame*>(frame.Widget())->frameShape(), QFrame::Box);
    EXPECT_EQ(frame.ScaleWidth(), frame.Width() - 2);
    // The drawing survives a repaint of the window.
    Window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window()));
    EXPECT_EQ(frame.Widget()->grab().toImage().pixelColor(1 + 10, 1 + 10), QColor(Qt::red));
    // An empty Picture clears; only the first element at a path counts, so
    // the clearing comes from the index node, applied after the group's node.
    Skin(QString(), QStringLiteral("<Command_Get Picture=\"skin/blue.png\"/><Command_Get Picture=\"\"/>"
                                   "<Command_Link_AllValue Picture=\"skin/blue.png\"><Index_0 Picture=\"\"/>"
                                   "</Command_Link_AllValue>"));
    EXPECT_EQ(Ctl(u"Command_Get"_s).Picture().size(), QSize(4, 4));
    EXPECT_TRUE(Rows().Command_Link_AllValue(0).Picture().isNull());
}

TEST_F(SkinTest, DrawStylesOnAPictureBox) {
    Png(u"sq.png"_s, 100, 100, Qt::red);
    const struct {
        const char* attributes;
        QRect drawn;
    } cases[] = {
        {"PicDrawStyle=\"1\"", QRect(0, 0, 233, 185)},
        {"PicDrawStyle=\"2\" PicxAlign=\"2\"", QRect(48, 0, 185, 185)},
        {"PicDrawStyle=\"3\" PicLeft=\"2\" PicTop=\"2\" PicRight=\"2\" PicButtom=\"2\"",
         QRect(2, 2, 100, 100)},
        {"PicDrawStyle=\"4\" PicX=\"50\" PicY=\"50\" PicWidth=\"50\" PicHeight=\"50\"",
         QRect(0, 0, 185, 185)},
        {"PicDrawStyle=\"-1\"", QRect()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.attributes);
        Skin(QString(),
             u"<Picture_LinkList_Out PicURL=\"sq.png\" %1/>"_s.arg(QString::fromLatin1(c.attributes)));
        const QImage& surface = Ctl(u"Picture_LinkList_Out"_s).SurfaceImage();
        QRect drawn;
        for (int y = 0; y < surface.height(); ++y) {
            for (int x = 0; x < surface.width(); ++x) {
                drawn |= surface.pixelColor(x, y).alpha() > 0 ? QRect(x, y, 1, 1) : QRect();
            }
        }
        EXPECT_EQ(drawn, c.drawn);
    }
}

} // namespace
