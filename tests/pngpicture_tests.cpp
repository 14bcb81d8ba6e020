// Picture placement by draw style (the drawings themselves: app_skin_tests).

#include "settings/pngpicture.h"

#include <gtest/gtest.h>

using namespace zandorel;

using P = DrawParameters;

TEST(PngPicture, RectanglesPerStyle) {
    struct Row {
        const char* name;
        DrawParameters p;
        int imgW, imgH, tW, tH;
        std::optional<QRect> rect;
    };
    const Row rows[] = {
        {"explicit, own size", P{.style = 0, .x = 5, .y = 5}, 64, 32, 200, 100, QRect(5, 5, 0, 0)},
        {"stretch", P{.style = 1}, 64, 32, 200, 100, QRect(0, 0, 200, 100)},
        {"stretch with margins and adjustments",
         P{.style = 1, .x = 1, .width = 4, .top = 5, .right = 20, .bottom = 5, .left = 10}, 64, 32, 200, 100,
         QRect(11, 5, 174, 90)},
        {"fit, centred", P{.style = 2}, 100, 100, 200, 100, QRect(50, 0, 100, 100)},
        {"fit, left", P{.style = 2, .xAlign = 1}, 100, 100, 200, 100, QRect(0, 0, 100, 100)},
        {"fit, right", P{.style = 2, .xAlign = 2}, 100, 100, 200, 100, QRect(100, 0, 100, 100)},
        {"fit, other alignment uses PicX", P{.style = 2, .x = 7, .xAlign = -1}, 100, 100, 200, 100,
         QRect(7, 0, 100, 100)},
        {"fit tall, centred", P{.style = 2}, 100, 100, 100, 200, QRect(0, 50, 100, 100)},
        {"fit tall, top", P{.style = 2, .yAlign = 1}, 100, 100, 100, 200, QRect(0, 0, 100, 100)},
        {"fit tall, bottom", P{.style = 2, .yAlign = 2}, 100, 100, 100, 200, QRect(0, 100, 100, 100)},
        {"fit rounds halves to even", P{.style = 2}, 3, 1, 10, 10, QRect(0, 4, 10, 3)},
        {"size target", P{.style = 3, .top = 2, .right = 2, .bottom = 2, .left = 2}, 64, 32, 10, 10,
         QRect(2, 2, 0, 0)},
        {"zoom a region", P{.style = 4, .x = 100, .y = 100, .width = 150, .height = 100}, 1000, 800, 300, 200,
         QRect(-200, -200, 2000, 1600)},
        {"unknown style", P{.style = -1}, 10, 10, 10, 10, std::nullopt},
        {"style 5", P{.style = 5}, 10, 10, 10, 10, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const DrawPlan plan = PlanDrawing(row.p, row.imgW, row.imgH, row.tW, row.tH);
        EXPECT_EQ(plan.rect, row.rect);
    }
    EXPECT_EQ(
        PlanDrawing(P{.style = 3, .top = 2, .right = 2, .bottom = 2, .left = 2}, 64, 32, 10, 10).resizeTarget,
        QSize(68, 36));
    EXPECT_THROW(PlanDrawing(P{.style = 4, .width = 0, .height = 5}, 10, 10, 10, 10), PictureError);
    EXPECT_THROW(PlanDrawing(P{.style = 1, .x = 1, .left = 2147483647}, 10, 10, 10, 10), PictureError);
    EXPECT_EQ(Whole(2.5), 2);
    EXPECT_EQ(Whole(3.5), 4);
    EXPECT_EQ(Whole(-81.5), -82);
}
