// SPDX-License-Identifier: MIT
// Works out the pictures that the real-display tests expect to see: it runs the program's own
// window headless, performs the same user actions through its event procedures, and writes
// what PicDisp and PicHidden hold afterwards as PNG files.
//
//   veldtra_expected_pictures --kernel LIB --out PREFIX [--fields] [ACTION...]
//
// Without an action the pictures are those of the window as it opens. ACTION is "render" (a
// click on Render) or "drag:X,Y:X,Y[:X,Y...]" (the left button pressed at the first point of
// PicDisp, moved through the others and released at the last). The files written are
// PREFIX-display.png (PicDisp, as on screen) and PREFIX-hidden.png (PicHidden, the picture that
// Save writes). Any run-time error of the program ends the helper with status 3.
//
// With --fields it also writes, for each of the four window fields (txtRmin, txtRmax, txtImin,
// txtImax), PREFIX-NAME.png: the field's text as it looks when shown from its first character,
// and PREFIX-NAME-end.png: the same text scrolled to its end. Neither picture is taken from the
// field itself: a plain line edit of the field's size, font, palette and frame, put in the same
// place of the same window, gets the field's text and its cursor is placed explicitly, at the
// start or at the end. Text pictures depend on the platform's font rendering, so under --fields
// the helper runs on the display at hand (not headless): it shows the window there and waits
// until the window is active, as the program's own window is on that display, with no field
// holding the keyboard focus.
//
//   veldtra_expected_pictures --layout
//
// prints where the real-display scripts find the window's controls, one shell assignment a
// line, in pixels of the window's client area, taken from the geometry of the program's own
// widgets (see display_lib.sh, which reads them):
//
//   DT_WINDOW_SIZE=WIDTHxHEIGHT           the client area
//   DT_RENDER_X=X  DT_RENDER_Y=Y          the centre of Render
//   DT_SAVE_X=X  DT_SAVE_Y=Y              the centre of Save
//   DT_DISP_LEFT/TOP/WIDTH/HEIGHT=N       PicDisp's rectangle
//   DT_FIELD=NAME LEFT TOP WIDTH HEIGHT   one line for each of the four window fields, by
//                                         object name, in the order Rmin, Rmax, Imin, Imax
#include "form1.h"
#include "kernelbinding.h"

#include "platform/picturebox.h"
#include "platform/runtimeerror.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace {

[[noreturn]] void fail(const QString& message)
{
    std::fprintf(stderr, "veldtra_expected_pictures: %s\n", qPrintable(message));
    std::exit(2);
}

void usage()
{
    fail(QStringLiteral("usage: veldtra_expected_pictures --kernel LIB --out PREFIX "
                        "[--fields] [render | drag:X,Y:X,Y[:X,Y...]]...\n"
                        "       veldtra_expected_pictures --layout"));
}

std::optional<QPoint> parsePoint(const QString& text)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 2)
        return std::nullopt;
    bool okX = false, okY = false;
    const int x = parts[0].toInt(&okX), y = parts[1].toInt(&okY);
    if (!okX || !okY)
        return std::nullopt;
    return QPoint(x, y);
}

std::vector<QPoint> parseDrag(const QString& action)
{
    const QStringList parts = action.mid(5).split(u':');
    std::vector<QPoint> points;
    for (const QString& part : parts) {
        const auto point = parsePoint(part);
        if (!point)
            fail(QStringLiteral("bad point \"%1\" in \"%2\"").arg(part, action));
        points.push_back(*point);
    }
    if (points.size() < 2)
        fail(QStringLiteral("a drag needs a start point and at least one move: \"%1\"").arg(action));
    return points;
}

// Every call goes through the same boundary as in the program, so that a run-time error reaches
// the reporter below instead of passing unnoticed.
template <class Procedure>
void run(Procedure&& procedure)
{
    platform::runEventProcedure(std::forward<Procedure>(procedure));
}

void drag(form1& window, const std::vector<QPoint>& points)
{
    constexpr std::int16_t left = platform::LeftButton, noShift = 0;
    auto x = [](const QPoint& p) { return static_cast<float>(p.x()); };
    auto y = [](const QPoint& p) { return static_cast<float>(p.y()); };
    run([&] { window.PicDisp_MouseDown(left, noShift, x(points.front()), y(points.front())); });
    for (std::size_t i = 1; i < points.size(); ++i)
        run([&] { window.PicDisp_MouseMove(left, noShift, x(points[i]), y(points[i])); });
    run([&] { window.PicDisp_MouseUp(left, noShift, x(points.back()), y(points.back())); });
}

void save(const QImage& image, const QString& path)
{
    if (image.isNull())
        fail(QStringLiteral("there is no picture to write to %1").arg(path));
    if (!image.convertToFormat(QImage::Format_RGB32).save(path, "PNG"))
        fail(QStringLiteral("could not write %1").arg(path));
}

// Lets the window system deliver what is pending until `ready` holds; fails after 10 s.
template <class Condition>
void waitFor(const char* what, Condition&& ready)
{
    QElapsedTimer timer;
    timer.start();
    while (!ready()) {
        if (timer.hasExpired(10000))
            fail(QStringLiteral("timed out after 10 s waiting for %1").arg(QLatin1String(what)));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

// The picture of `field`'s text in a plain line edit that takes the field's place, with the
// cursor at `cursor`: 0 shows the text from its first character, the text's length scrolls it
// to its end.
QImage fieldPicture(form1& window, const QLineEdit& field, qsizetype cursor)
{
    QLineEdit probe(&window);
    probe.setGeometry(field.geometry());
    probe.setFont(field.font());
    probe.setPalette(field.palette());
    probe.setFrame(field.hasFrame());
    probe.setAlignment(field.alignment());
    probe.setTextMargins(field.textMargins());
    probe.setText(field.text());
    probe.setCursorPosition(static_cast<int>(cursor));
    probe.show();
    probe.raise();
    QCoreApplication::processEvents();
    if (probe.hasFocus() || probe.cursorPosition() != cursor)
        fail(QStringLiteral("the line edit in place of %1 has the focus or lost its cursor position")
                 .arg(field.objectName()));
    return probe.grab().toImage();
}

void saveFieldPictures(form1& window, const QString& prefix)
{
    window.show();
    window.raise();
    window.activateWindow();
    waitFor("the window to be shown and active", [&] {
        return window.windowHandle() && window.windowHandle()->isExposed() && window.isActiveWindow();
    });
    const platform::TextBox* fields[] = {window.txtRmin, window.txtRmax, window.txtImin, window.txtImax};
    for (const platform::TextBox* field : fields) {
        // As in the program after a drag on PicDisp: no field has the keyboard focus.
        if (field->hasFocus())
            fail(QStringLiteral("%1 has the keyboard focus").arg(field->objectName()));
        const QString name = prefix + u'-' + field->objectName();
        save(fieldPicture(window, *field, 0), name + QStringLiteral(".png"));
        save(fieldPicture(window, *field, field->text().size()), name + QStringLiteral("-end.png"));
    }
}

// The rectangle that `name` takes up in the window's client area. Looked up by object name, as
// the scripts know the controls, so that a renamed control fails here rather than in a script.
QRect placeOf(const form1& window, const QString& name)
{
    const auto* control = window.findChild<const QWidget*>(name);
    if (!control)
        fail(QStringLiteral("the window has no control named %1").arg(name));
    return QRect(control->mapTo(&window, QPoint(0, 0)), control->size());
}

void printLayout(const form1& window)
{
    auto centre = [&](const char* variable, const QString& name) {
        const QRect place = placeOf(window, name);
        std::printf("%s_X=%d\n%s_Y=%d\n", variable, place.left() + place.width() / 2, variable,
                    place.top() + place.height() / 2);
    };
    std::printf("DT_WINDOW_SIZE=%dx%d\n", window.width(), window.height());
    centre("DT_RENDER", QStringLiteral("cmdRender"));
    centre("DT_SAVE", QStringLiteral("cmdSave"));
    const QRect disp = placeOf(window, QStringLiteral("PicDisp"));
    std::printf("DT_DISP_LEFT=%d\nDT_DISP_TOP=%d\nDT_DISP_WIDTH=%d\nDT_DISP_HEIGHT=%d\n", disp.left(),
                disp.top(), disp.width(), disp.height());
    const platform::TextBox* fields[] = {window.txtRmin, window.txtRmax, window.txtImin, window.txtImax};
    for (const platform::TextBox* field : fields) {
        const QString name = field->objectName();
        const QRect place = placeOf(window, name);
        std::printf("DT_FIELD=%s %d %d %d %d\n", qPrintable(name), place.left(), place.top(),
                    place.width(), place.height());
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        fail(QStringLiteral("could not write the layout"));
}

} // namespace

int main(int argc, char** argv)
{
    // Headless even where a display is at hand: the pictures of the picture boxes depend on
    // the program's own drawing only, and the layout on the fixed geometry of the window. Under
    // --fields on the display at hand, whose font rendering the pictures of text depend on.
    bool fields = false;
    for (int i = 1; i < argc; ++i)
        fields = fields || std::strcmp(argv[i], "--fields") == 0;
    if (!fields)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QString kernel, prefix;
    QStringList actions;
    bool layout = false;
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--kernel") && i + 1 < args.size())
            kernel = args[++i];
        else if (args[i] == QLatin1String("--out") && i + 1 < args.size())
            prefix = args[++i];
        else if (args[i] == QLatin1String("--fields"))
            continue;
        else if (args[i] == QLatin1String("--layout"))
            layout = true;
        else if (args[i] == QLatin1String("render") || args[i].startsWith(QLatin1String("drag:")))
            actions << args[i];
        else
            usage();
    }
    if (layout ? args.size() != 1 : kernel.isEmpty() || prefix.isEmpty())
        usage();

    platform::setErrorReporter([](const platform::RuntimeError& error) {
        std::fprintf(stderr, "veldtra_expected_pictures: run-time error (%s): %s\n",
                     platform::kindName(error.kind()), error.what());
        std::exit(3);
    });
    if (!layout)
        kernelbinding::setLibraryPaths({kernel});

    form1 window;
    run([&] { window.Form_Load(); });
    if (layout) {
        // Where the controls are once the window has opened, as in the program.
        printLayout(window);
        return 0;
    }
    for (const QString& action : actions) {
        if (action == QLatin1String("render")) {
            run([&] { window.cmdRender_Click(); });
            if (window.lblProcess->Caption() != QLatin1String("None"))
                fail(QStringLiteral("the render did not finish: the status reads \"%1\"")
                         .arg(window.lblProcess->Caption()));
        } else {
            drag(window, parseDrag(action));
        }
    }

    save(window.PicDisp->image(), prefix + QStringLiteral("-display.png"));
    save(window.PicHidden->image(), prefix + QStringLiteral("-hidden.png"));
    if (fields)
        saveFieldPictures(window, prefix);
    return 0;
}
