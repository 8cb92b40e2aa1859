#include <doctest/doctest.h>

#include "base/twips.h"
#include "shell/ScaleControls.h"
#include "shell/frmMain.h"

namespace {

using tk::Kind;

constexpr tk::FontSettings kTen{L"MS Sans Serif", 10.0f};
constexpr tk::ControlSettings kButton{
    L"Button1", Kind::CommandButton, 1200, 600, 2400, 900, 0, 0, L"Go", nullptr, kTen, 0, 0, -1,
    -1};
constexpr tk::ControlSettings kCombo{L"Combo1", Kind::ComboBox, 1500, 1800, 3000, 315, 1, 0,
                                     L"",       nullptr,        kTen, 0,    0,    -1,  -1};
constexpr tk::ControlSettings kMenu{L"mMenu", Kind::Menu, 0,  0, 0, 0,  -1, 0,
                                    L"Menu",  nullptr,    {}, 0, 0, -1, -1};
constexpr tk::ControlSettings kItem{L"mItem", Kind::MenuItem, 0,  0, 0, 0,  -1, 0,
                                    L"Item",  nullptr,        {}, 0, 0, -1, 0};

// A plain form for the scaler; at the 96 dpi of the test prefix 15 twips are one pixel.
class TestForm : public tk::Form {
public:
    TestForm(const tk::ControlSettings* controls, int count) {
        static const tk::FormSettings settings{L"TavrelScaleTest", L"Scale test", 6000, 6000, 0, 0};
        REQUIRE(Load(GetModuleHandleW(nullptr), settings, controls, count));
    }
};

struct Geometry {
    float left, top, width, height, font;
};

Geometry Read(tk::Control& c) {
    Geometry g{};
    REQUIRE(c.Left(g.left));
    REQUIRE(c.Top(g.top));
    REQUIRE(c.Width(g.width));
    REQUIRE(c.Height(g.height));
    REQUIRE(c.FontSize(g.font));
    return g;
}

}  // namespace

TEST_CASE("ScaleControls by 0.8 moves, sizes and shrinks the font of a control") {
    tk::ControlSettings controls[] = {kButton};
    TestForm form(controls, 1);
    float formWidth = form.WidthTwips(), formHeight = form.HeightTwips();
    ScaleControls(0.8f, 0.8f, form);
    Geometry g = Read(form.ControlAt(0));
    CHECK(g.left == 960);
    CHECK(g.top == 480);
    CHECK(g.width == 1920);
    CHECK(g.height == 720);
    CHECK(g.font == doctest::Approx(8.0));
    CHECK(form.WidthTwips() == formWidth);
    CHECK(form.HeightTwips() == formHeight);
}

TEST_CASE("ScaleControls by 1 changes nothing; by 0.5 and 1.5 keeps the font") {
    tk::ControlSettings controls[] = {kButton};
    TestForm form(controls, 1);
    ScaleControls(1.0f, 1.0f, form);
    Geometry same = Read(form.ControlAt(0));
    CHECK(same.left == 1200);
    CHECK(same.top == 600);
    CHECK(same.width == 2400);
    CHECK(same.height == 900);
    CHECK(same.font == 10.0f);

    ScaleControls(0.5f, 1.5f, form);
    Geometry g = Read(form.ControlAt(0));
    CHECK(g.left == 600);
    CHECK(g.top == 900);
    CHECK(g.width == 1200);
    CHECK(g.height == 1350);
    CHECK(g.font == 10.0f);
}

TEST_CASE("a combo box keeps its height while the rest scales") {
    tk::ControlSettings controls[] = {kCombo};
    TestForm form(controls, 1);
    float heightBefore;
    REQUIRE(form.ControlAt(0).Height(heightBefore));
    // The font decides a combo box's field height, so keep it: (0.8 + 1.2) / 2 = 1.
    ScaleControls(0.8f, 1.2f, form);
    Geometry g = Read(form.ControlAt(0));
    CHECK(g.left == 1200);
    CHECK(g.top == 2160);
    CHECK(g.width == 2400);
    CHECK(g.height == heightBefore);
    CHECK(g.font == 10.0f);
}

TEST_CASE("menus have no geometry or font, and scaling skips them and goes on") {
    tk::ControlSettings controls[] = {kMenu, kItem, kButton};
    TestForm form(controls, 3);
    float value;
    CHECK_FALSE(form.ControlAt(0).Left(value));
    CHECK_FALSE(form.ControlAt(1).FontSize(value));
    CHECK_FALSE(form.ControlAt(1).Move(1, 2, 3, 4));
    ScaleControls(0.8f, 0.8f, form);
    CHECK(Read(form.ControlAt(2)).left == 960);  // the button after the menus still scaled

    SUBCASE("a window of menus only is left as it was") {
        tk::ControlSettings menus[] = {kMenu, kItem};
        TestForm menusOnly(menus, 2);
        ScaleControls(0.5f, 2.0f, menusOnly);
        CHECK(menusOnly.ControlCount() == 2);
    }
    SUBCASE("a window without controls") {
        TestForm empty(nullptr, 0);
        ScaleControls(0.8f, 0.8f, empty);
        CHECK(empty.ControlCount() == 0);
    }
}

TEST_CASE("a value a control cannot take is refused, and the rest still applies") {
    tk::ControlSettings controls[] = {kButton};
    TestForm form(controls, 1);
    ScaleControls(-1.0f, 5.0f, form);  // a negative width
    Geometry g = Read(form.ControlAt(0));
    CHECK(g.left == 1200);  // the move was refused whole
    CHECK(g.width == 2400);
    CHECK(g.font == doctest::Approx(20.0));  // the font step still ran
}

TEST_CASE("nearest-integer conversion sends ties to the even neighbour") {
    CHECK(base::NearestInt(800.5) == 800);
    CHECK(base::NearestInt(801.5) == 802);
    CHECK(base::NearestInt(819.2) == 819);
    CHECK(base::NearestInt(614.4) == 614);
    CHECK(base::NearestInt(-2.5) == -2);
    CHECK(base::NearestInt(-3.5) == -4);
}

TEST_CASE("start-up factors at 120 dpi on a 1024 x 768 screen") {
    StartupScale s = ComputeStartupScale(12288, 9216, 1024, 768);
    CHECK(s.nominalScreenWidth == 819);
    CHECK(s.nominalScreenHeight == 614);
    CHECK(s.factorX == 0.7998047f);
    CHECK(s.factorY == 0.7994792f);

    StartupScale at96 = ComputeStartupScale(15360, 11520, 1024, 768);
    CHECK(at96.factorX == 1.0f);
    CHECK(at96.factorY == 1.0f);

    SUBCASE("a device that reports no pixels keeps the design layout") {
        StartupScale none = ComputeStartupScale(15360, 11520, 0, 0);
        CHECK(none.factorX == 1.0f);
        CHECK(none.factorY == 1.0f);
    }
}
