// The toolkit's controls as a user meets them: clicks on labels and the
// picture box, the keyboard on buttons, and a held button's face.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "support/standins.h"
#include "toolkit/form.h"
#include "toolkit/picture.h"
// The decoder itself, to compare with.
#define STBI_NO_STDIO
#include "third_party/stb/stb_image.h"

using support::Narrow;
using tk::Kind;

namespace {

constexpr tk::FontSettings kFont{L"MS Sans Serif", 9.75f, true, false, true};
constexpr tk::ControlSettings kControls[] = {
    // "& " would make Space the button's access key, were characters taken as such.
    {L"Face", Kind::CommandButton, 150, 150, 3015, 975, 0, IDP_BANDWIDTH, L"Band & Width", nullptr,
     kFont, 0, 0, -1, -1},
    {L"Caption", Kind::Label, 150, 1500, 1500, 600, 2, 0, L"Click me", nullptr, kFont,
     RGB(128, 0, 0), 0, -1, -1},
    {L"Logo", Kind::PictureBox, 150, 2400, 4695, 1335, 1, IDP_LOGO, L"Logo", nullptr, kFont, 0, 0,
     -1, -1},
};

class ClickForm : public tk::Form {
public:
    ClickForm() {
        static const tk::FormSettings settings{L"TavrelToolkitTest", L"Toolkit test", 6000, 5000, 0,
                                               IDP_BACKGROUND};
        REQUIRE(Load(GetModuleHandleW(nullptr), settings, kControls, 3));
        Show();
        SetForegroundWindow(Hwnd());
        Flush();
    }
    ~ClickForm() override { Flush(); }

    // Lets queued and sent messages run, as the loop would.
    static void Flush() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    std::vector<std::string> clicks;

protected:
    void OnClick(tk::Control& control) override { clicks.push_back(Narrow(control.Name())); }
};

void ClickAt(HWND control, int x, int y) {
    SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

}  // namespace

TEST_CASE("a click on a label or the picture box reaches the form; a label takes no focus") {
    ClickForm form;
    HWND label = form.Find(L"Caption")->Hwnd();
    HWND logo = form.Find(L"Logo")->Hwnd();
    SetFocus(form.Find(L"Face")->Hwnd());

    ClickAt(label, 10, 10);
    CHECK(form.clicks == std::vector<std::string>{"Caption"});
    CHECK(GetFocus() != label);

    SUBCASE("letting go outside is no click") {
        ClickAt(label, -20, 10);
        CHECK(form.clicks.size() == 1);
    }
    SUBCASE("the picture box") {
        ClickAt(logo, 30, 30);
        CHECK(form.clicks == std::vector<std::string>{"Caption", "Logo"});
    }
}

TEST_CASE("Enter and Space press the focused button once a press, however long it is held") {
    constexpr LPARAM kDown = 1, kRepeat = 1 << 30 | 1, kUp = static_cast<LPARAM>(0xC0000001);
    const struct {
        const char* name;
        WPARAM key;
    } keys[] = {{"Enter", VK_RETURN}, {"Space", VK_SPACE}};
    for (const auto& k : keys) {
        INFO(std::string(k.name));
        ClickForm form;
        HWND button = form.Find(L"Face")->Hwnd();
        SetFocus(button);
        REQUIRE(GetFocus() == button);
        // A tap, then a press held through three auto-repeats.
        for (LPARAM flags : {kDown, kUp, kDown, kRepeat, kRepeat, kRepeat, kUp})
            PostMessageW(button, flags == kUp ? WM_KEYUP : WM_KEYDOWN, k.key, flags);
        PostQuitMessage(0);
        tk::RunMessageLoop();
        CHECK(form.clicks.size() == 2);
    }
}

TEST_CASE("a picture button held down still shows its own face") {
    ClickForm form;
    HWND button = form.Find(L"Face")->Hwnd();
    HBITMAP face = form.Find(L"Face")->Picture();
    REQUIRE(face);

    // Samples of the face; it must not stay selected, or the button cannot draw it.
    struct Sample {
        int x, y;
        COLORREF colour;
    };
    std::vector<Sample> samples;
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, face);
    for (int x = 20; x < 180; x += 8)
        for (int y = 12; y < 52; y += 8) samples.push_back({x, y, GetPixel(memory, x, y)});
    SelectObject(memory, old);
    DeleteDC(memory);

    // What the button paints, captured off screen.
    RECT r;
    GetClientRect(button, &r);
    HDC screen = GetDC(nullptr);
    HDC canvas = CreateCompatibleDC(screen);
    HBITMAP shot = CreateCompatibleBitmap(screen, r.right, r.bottom);
    ReleaseDC(nullptr, screen);
    HGDIOBJ oldShot = SelectObject(canvas, shot);
    auto showsFaceAt = [&](int offset) {
        SendMessageW(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas), PRF_CLIENT);
        int same = 0;
        for (const Sample& s : samples)
            same += GetPixel(canvas, s.x + offset, s.y + offset) == s.colour;
        INFO(same, " of ", samples.size(), " samples match");
        return same == static_cast<int>(samples.size());
    };

    CHECK(showsFaceAt(0));
    SendMessageW(button, BM_SETSTATE, TRUE, 0);
    CHECK(showsFaceAt(1));  // nudged by a pixel, the same picture
    CHECK_FALSE(showsFaceAt(0));
    SendMessageW(button, BM_SETSTATE, FALSE, 0);
    CHECK(showsFaceAt(0));

    SelectObject(canvas, oldShot);
    DeleteObject(shot);
    DeleteDC(canvas);
}

TEST_CASE("pictures load at their drawn sizes, in 24 bits") {
    HINSTANCE self = GetModuleHandleW(nullptr);
    struct {
        int id;
        LONG width, height;
        WORD bits;
    } pictures[] = {{IDP_BACKGROUND, 416, 514, 24}, {IDP_LOGO, 312, 87, 24},
                    {IDP_HEAD, 176, 176, 24},       {IDP_BELLY, 176, 176, 24},
                    {IDP_BANDWIDTH, 199, 64, 24},   {IDP_CONNECTION, 199, 64, 24},
                    {IDP_CLEANFILES, 200, 64, 24},  {IDP_RECYCLE, 200, 64, 24},
                    {IDP_SPYBOT, 80, 48, 24},       {IDP_HELP, 80, 48, 24}};
    for (auto& p : pictures) {
        INFO("picture ", p.id);
        HBITMAP picture = tk::LoadPicture(self, p.id);
        REQUIRE(picture);
        SIZE size = tk::PictureSize(picture);
        CHECK(size.cx == p.width);
        CHECK(size.cy == p.height);
        BITMAP info{};
        GetObjectW(picture, sizeof info, &info);
        CHECK(info.bmBitsPixel == p.bits);
        DeleteObject(picture);
    }
    CHECK(tk::LoadPicture(self, 999) == nullptr);
}

namespace {

// A bitmap's pixels as 32-bit rows, for comparing two of them.
std::vector<BYTE> Pixels(HBITMAP picture) {
    SIZE size = tk::PictureSize(picture);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = size.cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<BYTE> pixels(static_cast<size_t>(size.cx) * size.cy * 4);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, picture, 0, size.cy, pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return pixels;
}

}  // namespace

TEST_CASE("a decoded picture keeps every pixel's colour, row by row") {
    // The Bandwidth face is 199 pixels wide, so its DIB rows carry padding:
    // every pixel must be the decoder's own, in its place.
    HINSTANCE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(IDP_BANDWIDTH), MAKEINTRESOURCEW(10));
    REQUIRE(found);
    const auto* data = static_cast<const stbi_uc*>(LockResource(LoadResource(self, found)));
    const int size = static_cast<int>(SizeofResource(self, found));
    int width = 0, height = 0, channels = 0;
    stbi_uc* rgb = stbi_load_from_memory(data, size, &width, &height, &channels, 3);
    REQUIRE(rgb);
    HBITMAP picture = tk::DecodePicture(data, static_cast<DWORD>(size));
    REQUIRE(picture);
    const std::vector<BYTE> pixels = Pixels(picture);  // bottom row first, blue first
    int wrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const BYTE* p = &pixels[((height - 1 - y) * width + x) * 4];
            const stbi_uc* q = rgb + (y * width + x) * 3;
            wrong += p[2] != q[0] || p[1] != q[1] || p[0] != q[2];
        }
    CHECK(wrong == 0);
    stbi_image_free(rgb);
    DeleteObject(picture);

    // A photographic face keeps 24 bits: the head button's ring is red, not blue.
    HBITMAP head = tk::LoadPicture(GetModuleHandleW(nullptr), IDP_HEAD);
    REQUIRE(head);
    BITMAP info{};
    REQUIRE(GetObjectW(head, sizeof info, &info));
    CHECK(info.bmBitsPixel == 24);
    const std::vector<BYTE> face = Pixels(head);
    const BYTE* ring = &face[((176 - 1 - 7) * 176 + 88) * 4];  // 7 rows from the top, centred
    CHECK(ring[2] > 2 * ring[0]);
    DeleteObject(head);
}

TEST_CASE(
    "a cut-short or damaged picture decodes to nothing or to a whole picture, never a crash") {
    HINSTANCE self = GetModuleHandleW(nullptr);
    for (int id : {IDP_HEAD, IDP_LOGO}) {
        INFO("picture ", id);
        HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));
        REQUIRE(found);
        const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(self, found)));
        const std::vector<BYTE> whole(data, data + SizeofResource(self, found));
        HBITMAP good = tk::DecodePicture(whole.data(), static_cast<DWORD>(whole.size()));
        REQUIRE(good);
        const SIZE drawn = tk::PictureSize(good);
        DeleteObject(good);
        // A damaged header may name another size; a cut-short file keeps its own.
        auto check = [&](const std::vector<BYTE>& bytes, bool sameSize) {
            HBITMAP picture = tk::DecodePicture(bytes.data(), static_cast<DWORD>(bytes.size()));
            if (!picture) return;
            SIZE size = tk::PictureSize(picture);
            CHECK((size.cx > 0 && size.cy > 0));
            if (sameSize) CHECK((size.cx == drawn.cx && size.cy == drawn.cy));
            DeleteObject(picture);
        };
        for (size_t length :
             {size_t{1}, size_t{10}, size_t{200}, whole.size() / 2, whole.size() - 1})
            check(std::vector<BYTE>(whole.begin(), whole.begin() + length), true);
        // Each of 200 bytes through the file, headers included, set to each of three values.
        unsigned seed = 12345;
        for (int i = 0; i < 200; ++i) {
            seed = seed * 1103515245 + 12345;
            std::vector<BYTE> bytes = whole;
            size_t at = i < 40 ? static_cast<size_t>(i) : (seed >> 8) % bytes.size();
            for (BYTE value : {BYTE{0}, BYTE{0xFF}, static_cast<BYTE>(bytes[at] ^ 0x55)}) {
                bytes[at] = value;
                check(bytes, false);
            }
        }
    }
    const char notAPicture[] = "not a picture";
    CHECK(tk::DecodePicture(notAPicture, sizeof notAPicture) == nullptr);
    CHECK(tk::DecodePicture(nullptr, 100) == nullptr);
}
