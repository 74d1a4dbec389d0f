// The display's colour profile: the property read each new picture costs, and a fitted 16-megapixel picture's
// paint with and without a profile on the root window. Without a display it reruns itself under xvfb-run.
#include "colour_profile.h"
#include "display_profile.h"
#include "picturebox.h"
#include "viewer_bench_support.h"

#include <QApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using viewer_bench::median;

constexpr int kWidth = 4608, kHeight = 3456;  // 16 megapixels
constexpr int kViewWidth = 1244, kViewHeight = 960;
constexpr int kRuns = 7;

// Sets the root window's _ICC_PROFILE (or removes it, for no bytes) through Qt's own connection.
bool set_root_profile(const std::vector<std::uint8_t>& icc)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) return false;
    xcb_connection_t* connection = x11->connection();
    static const char kName[] = "_ICC_PROFILE";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof kName - 1, kName), nullptr);
    if (!atom) return false;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    if (icc.empty()) xcb_delete_property(connection, root, atom->atom);
    else
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, root, atom->atom, XCB_ATOM_CARDINAL, 8,
                            std::uint32_t(icc.size()), icc.data());
    std::free(atom);
    return xcb_flush(connection) > 0;
}

void print_times(const char* name, const std::vector<double>& times, const char* unit = "ms")
{
    std::printf("%-44s median %8.3f %s  worst %8.3f %s\n", name, median(times), unit,
                *std::max_element(times.begin(), times.end()), unit);
}

// A new picture into the control, to the paint that shows it.
double paint_new_picture(TPictureBox& box, const QImage& picture)
{
    const quint64 painted = box.paintCount();
    viewer_bench::Timing timing;
    box.setPicture(picture);
    box.repaint();
    if (box.paintCount() == painted) std::fprintf(stderr, "the picture was not painted\n");
    return timing.stop().first;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (const int unavailable = viewer_bench::ensure_display(argc, argv)) return unavailable;
    QTemporaryDir scratch;
    if (!scratch.isValid()) return 1;
    viewer_bench::use_scratch_folders(scratch);
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::vector<std::uint8_t> wide = zarn::profile_from_cicp(12, 13);  // Display P3
    if (wide.empty() || !set_root_profile({})) return 1;

    std::vector<double> none, profiled;
    for (int run = 0; run < 200; ++run) {
        viewer_bench::Timing timing;
        (void)controls::readDisplayTransform();
        none.push_back(timing.stop().first * 1000);
    }
    set_root_profile(wide);
    for (int run = 0; run < 200; ++run) {
        viewer_bench::Timing timing;
        (void)controls::readDisplayTransform();
        profiled.push_back(timing.stop().first * 1000);
    }
    print_times("property read, none set", none, "us");
    print_times("property read, Display P3 set (kept)", profiled, "us");

    const QImage picture = viewer_bench::photo_like(kWidth, kHeight, QImage::Format_BGR888);
    const controls::DisplayTransform transform = controls::readDisplayTransform();
    std::vector<double> whole;
    for (int run = 0; run < kRuns; ++run) {
        QImage copy = picture.copy();
        viewer_bench::Timing timing;
        transform.apply(copy, copy.rect());
        whole.push_back(timing.stop().first);
    }
    print_times("whole 16 MP picture through the profile", whole);

    const qreal fit = std::min(qreal(kViewWidth) / kWidth, qreal(kViewHeight) / kHeight);
    TPictureBox box;
    box.setPicture(picture);
    box.setZoom(fit);
    box.resize(box.sizeForZoom(fit));
    box.show();
    QApplication::processEvents();
    for (const bool with_profile : {false, true}) {
        set_root_profile(with_profile ? wide : std::vector<std::uint8_t>());
        std::vector<double> times;
        for (int run = 0; run < kRuns; ++run) times.push_back(paint_new_picture(box, picture.copy()));
        print_times(with_profile ? "fitted first paint, Display P3 display" : "fitted first paint, no profile", times);
    }
    set_root_profile({});
    return 0;
}
