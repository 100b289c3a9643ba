// A small X client for the end-to-end script, standing in for the parts of a desktop that Xvfb
// lacks:
//
//   x11helper tray          acts as the desktop's notification area: owns the system tray selection
//                           of screen 0, announces itself, prints "tray ready" and then
//                           "docked 0x<window>" for every icon that asks to be docked; runs until
//                           it is ended (its selection goes with it)
//   x11helper close WINDOW  asks WINDOW (decimal or 0x hex) to close, as a window manager's close
//                           button or Alt+F4 does (WM_DELETE_WINDOW)
//
// Exit status 0 on success, 1 when the display cannot be opened or the request fails.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <xcb/xcb.h>

namespace {

constexpr std::uint32_t RequestDock = 0;

struct Free
{
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, Free>;

xcb_atom_t Atom(xcb_connection_t* c, const std::string& name)
{
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c,
                              xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
                              nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

int Tray(xcb_connection_t* c, xcb_screen_t* screen)
{
    const xcb_atom_t selection = Atom(c, "_NET_SYSTEM_TRAY_S0");
    const xcb_atom_t opcode = Atom(c, "_NET_SYSTEM_TRAY_OPCODE");
    const xcb_atom_t manager = Atom(c, "MANAGER");
    const xcb_window_t tray = xcb_generate_id(c);
    xcb_create_window(c,
                      XCB_COPY_FROM_PARENT,
                      tray,
                      screen->root,
                      -1,
                      -1,
                      1,
                      1,
                      0,
                      XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT,
                      0,
                      nullptr);
    xcb_set_selection_owner(c, tray, selection, XCB_CURRENT_TIME);
    const Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    if (!owner || owner->owner != tray) {
        std::fprintf(stderr, "x11helper: another tray owns the selection\n");
        return 1;
    }
    // Clients that are waiting for a tray learn of it from this message on the root window.
    xcb_client_message_event_t announce{};
    announce.response_type = XCB_CLIENT_MESSAGE;
    announce.format = 32;
    announce.window = screen->root;
    announce.type = manager;
    announce.data.data32[0] = XCB_CURRENT_TIME;
    announce.data.data32[1] = selection;
    announce.data.data32[2] = tray;
    xcb_send_event(c, 0, screen->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY, reinterpret_cast<const char*>(&announce));
    xcb_flush(c);
    std::printf("tray ready\n");
    std::fflush(stdout);

    while (const Reply<xcb_generic_event_t> event{xcb_wait_for_event(c)}) {
        const std::uint8_t type = event->response_type & 0x7F;
        if (type == XCB_CLIENT_MESSAGE) {
            const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event.get());
            if (message->type == opcode && message->data.data32[1] == RequestDock) {
                std::printf("docked 0x%x\n", message->data.data32[2]);
                std::fflush(stdout);
            }
        } else if (type == XCB_SELECTION_CLEAR) {
            return 0;
        }
    }
    return 0;
}

int Close(xcb_connection_t* c, const char* windowText)
{
    char* end = nullptr;
    const unsigned long window = std::strtoul(windowText, &end, 0);
    if (end == windowText || *end != '\0' || window == 0) {
        std::fprintf(stderr, "x11helper: not a window id: %s\n", windowText);
        return 1;
    }
    xcb_client_message_event_t close{};
    close.response_type = XCB_CLIENT_MESSAGE;
    close.format = 32;
    close.window = static_cast<xcb_window_t>(window);
    close.type = Atom(c, "WM_PROTOCOLS");
    close.data.data32[0] = Atom(c, "WM_DELETE_WINDOW");
    close.data.data32[1] = XCB_CURRENT_TIME;
    const xcb_void_cookie_t cookie =
        xcb_send_event_checked(c, 0, close.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&close));
    const Reply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
    return error ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command != "tray" && !(command == "close" && argc == 3)) {
        std::fprintf(stderr, "usage: x11helper tray | x11helper close WINDOW\n");
        return 2;
    }
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c) != 0) {
        std::fprintf(stderr, "x11helper: cannot open the display\n");
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    const int status = command == "tray" ? Tray(c, screens.data) : Close(c, argv[2]);
    xcb_disconnect(c);
    return status;
}
