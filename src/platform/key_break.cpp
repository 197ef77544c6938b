// Ctrl+Break as a running script sees it: the keys held down right now, read
// from the keyboard state itself (a busy loop never reads its key events),
// and a termination signal, which breaks every run from then on.
#include "platform/platform_utils.h"

#include <QGuiApplication>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <vector>

#ifdef KEST_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace {

volatile std::sig_atomic_t g_break_signal = 0;

#ifdef KEST_HAVE_XCB
constexpr std::uint32_t kSymPause = 0xff13;
constexpr std::uint32_t kSymBreak = 0xff6b;
constexpr std::uint32_t kSymControlL = 0xffe3;
constexpr std::uint32_t kSymControlR = 0xffe4;

struct BreakKeys {
    xcb_connection_t* conn = nullptr;   // the connection they were read for
    std::vector<std::uint8_t> brk;      // Pause or Break
    std::vector<std::uint8_t> ctrl;     // either Control
};

// The key codes of Pause/Break and Control on this display, read once.
const BreakKeys& break_keys(xcb_connection_t* c)
{
    static BreakKeys keys;
    if (keys.conn == c)
        return keys;
    keys = BreakKeys{};
    keys.conn = c;
    const xcb_setup_t* setup = xcb_get_setup(c);
    if (!setup || setup->max_keycode < setup->min_keycode)
        return keys;
    std::uint8_t count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    xcb_get_keyboard_mapping_reply_t* map =
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr);
    if (!map)
        return keys;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    int per = map->keysyms_per_keycode;
    int total = xcb_get_keyboard_mapping_keysyms_length(map);
    for (int k = 0; per > 0 && k < count && (k + 1) * per <= total; ++k) {
        std::uint8_t code = static_cast<std::uint8_t>(setup->min_keycode + k);
        for (int j = 0; j < per; ++j) {
            std::uint32_t s = syms[k * per + j];
            if (s == kSymPause || s == kSymBreak) {
                keys.brk.push_back(code);
                break;
            }
            if (s == kSymControlL || s == kSymControlR) {
                keys.ctrl.push_back(code);
                break;
            }
        }
    }
    std::free(map);
    return keys;
}

bool any_down(const std::uint8_t* bits, const std::vector<std::uint8_t>& codes)
{
    for (std::uint8_t c : codes)
        if (bits[c >> 3] & (1u << (c & 7)))
            return true;
    return false;
}

int query_keyboard()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c || xcb_connection_has_error(c))
        return 0;
    const BreakKeys& keys = break_keys(c);
    if (keys.brk.empty() || keys.ctrl.empty())
        return 0;
    xcb_query_keymap_reply_t* r = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr);
    if (!r)
        return 0;
    bool down = any_down(r->keys, keys.brk) && any_down(r->keys, keys.ctrl);
    std::free(r);
    return down ? 1 : 0;
}
#endif

}  // namespace

void key_break_note_signal() { g_break_signal = 1; }

void key_break_signal_clear() { g_break_signal = 0; }

int key_break_signalled() { return g_break_signal ? 1 : 0; }

int key_break_keyboard_down()
{
    // Asked at every loop re-test: the display is asked at most every 50 ms
    // (one round trip each), the answer kept in between.
    static std::uint64_t last_asked = 0;
    static int last_answer = 0;
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return 0;
    std::uint64_t now = time_ticks_ms();
    if (last_asked != 0 && now - last_asked < 50)
        return last_answer;
    last_asked = now;
#ifdef KEST_HAVE_XCB
    last_answer = query_keyboard();
#else
    last_answer = 0;
#endif
    return last_answer;
}
