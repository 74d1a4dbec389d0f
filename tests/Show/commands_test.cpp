// TForm1's commands: menu enabling, processing codes, saving, editors, the clipboard, and no picture, no command.
#include "photo_builder.h"
#include "picturebox.h"
#include "show_test_support.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <sys/stat.h>

namespace {

using namespace zarn::test;

// Acts on the application's active modal window, step by step, while the
// command's modal loops run: each step waits until a window of its kind is
// on screen. Steps hand work that opens another modal loop to the event
// queue, so the poll never blocks.
class ModalSteps {
public:
    ModalSteps()
    {
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { poll(); });
        timer_.start(10);
    }
    template <class W>
    ModalSteps& then(std::function<void(W&)> act)
    {
        steps_.push_back([act](QWidget& window) {
            auto* typed = qobject_cast<W*>(&window);
            if (!typed) return false;
            act(*typed);
            return true;
        });
        return *this;
    }
    std::size_t done() const { return next_; }

private:
    void poll()
    {
        if (next_ >= steps_.size() || deadline_.hasExpired()) return;
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || !modal->windowHandle() || !modal->windowHandle()->isExposed()) return;
        if (steps_[next_](*modal)) ++next_;
    }

    std::vector<std::function<bool(QWidget&)>> steps_;
    std::size_t next_ = 0;
    QDeadlineTimer deadline_{20000};
    QTimer timer_;
};

void accept_later(QDialog& dialog)
{
    QMetaObject::invokeMethod(&dialog, "accept", Qt::QueuedConnection);
}

// Types `path` into the open file dialog's name box (selectFile() leaves a
// focused box alone) and takes it.
void type_and_accept(QFileDialog& dialog, const QString& path)
{
    dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
    accept_later(dialog);
}

// Picks `path` and the save type `filter` (1-based) in the file dialog.
std::function<void(QFileDialog&)> choose(const std::string& path, int filter = 0)
{
    return [path, filter](QFileDialog& dialog) {
        if (filter > 0) dialog.selectNameFilter(dialog.nameFilters().at(filter - 1));
        type_and_accept(dialog, QString::fromStdString(path));
    };
}

QAction* item(QMenu* menu, const char* name)
{
    return menu->findChild<QAction*>(QLatin1String(name));
}

// Opens the menu (which sets its items up) and closes it again.
void open_menu(QMenu* menu)
{
    menu->popup(QPoint(0, 0));
    menu->hide();
}

std::string write_bmp1(const std::string& name, int width, int height)
{
    const std::string path = temp_path(name);
    BmpBuilder()
        .size(width, height)
        .bits(1)
        .palette({0, 0, 0, 255, 255, 255})
        .pixels(mono_pattern(width, height))
        .write(path);
    return path;
}

// What the library makes of `source` under `codes`, in a file of its own.
Bytes processed(const std::string& source, std::initializer_list<int> codes)
{
    const std::string reference = temp_path("reference.bmp");
    write_file(reference, read_file(source));
    PicImage record{};
    for (int code : codes) _bmprocess(reference.c_str(), reference.c_str(), &record, code);
    return read_file(reference);
}

Bytes working_file(TForm1& form)
{
    return read_file(form.WorkingFile.toStdString());
}

TEST(CommandMenus, EnablingFollowsTheDepthAndTheEditors)
{
    TForm1 form;
    QMenu* main = form.PopupMenu1;
    QMenu* image = form.ImageMenu;

    form.LoadImage(QString::fromStdString(write_bmp1("mono.bmp", 40, 30)));
    ASSERT_EQ(form.Pic()->bits, 1);
    open_menu(main);
    EXPECT_TRUE(item(main, "invertmono")->isEnabled());
    EXPECT_FALSE(item(main, "expand24")->isEnabled());
    EXPECT_FALSE(item(main, "rotate")->isEnabled());
    EXPECT_FALSE(item(main, "togrey")->isEnabled());
    EXPECT_FALSE(item(main, "colour256")->isEnabled());
    open_menu(image);
    QStringList shown;
    for (QAction* action : image->actions())
        if (action->isVisible()) shown << action->text();
    EXPECT_EQ(shown, QStringList({"24bit Adjustment", "Invert Monochrome"}));

    form.LoadImage(QString::fromStdString(write_bmp8("grey.bmp", 40, 30)));
    open_menu(main);
    open_menu(image);
    EXPECT_FALSE(item(main, "colour256")->isEnabled());
    EXPECT_FALSE(item(image, "colour256")->isVisible());
    EXPECT_TRUE(item(main, "expand24")->isEnabled());
    EXPECT_TRUE(item(image, "expand24")->isVisible());
    EXPECT_FALSE(item(main, "invertmono")->isEnabled());
    EXPECT_FALSE(item(image, "invertmono")->isVisible());
    EXPECT_TRUE(item(image, "rotate")->isVisible());

    const std::string colour = write_bmp24("colour.bmp", 40, 30);
    form.LoadImage(QString::fromStdString(colour));
    open_menu(main);
    open_menu(image);
    EXPECT_TRUE(item(main, "colour256")->isEnabled());
    EXPECT_TRUE(item(image, "colour256")->isVisible());
    EXPECT_FALSE(item(main, "expand24")->isEnabled());
    EXPECT_FALSE(item(image, "expand24")->isVisible());
    EXPECT_TRUE(item(main, "rotate")->isEnabled());

    // A JPEG: "Edit Image" needs the JPEG entry, "Displayed Image" only the bitmap one.
    std::vector<char> jpeg(256, '\0');
    const std::string jpeg_name = temp_path("photo.bmp");
    std::copy(jpeg_name.begin(), jpeg_name.end(), jpeg.begin());
    PicImage record{};
    ASSERT_EQ(_bmptoanys(colour.c_str(), jpeg.data(), &record, 2, 80), 1);
    form.LoadImage(QString::fromLocal8Bit(jpeg.data()));
    ASSERT_EQ(form.PicFormat, 4);
    form.Settings.Editors[1] = "/bin/true";
    open_menu(main);
    EXPECT_FALSE(item(main, "edit")->isEnabled());
    EXPECT_TRUE(item(main, "editasbmp")->isEnabled());
    const QString description = QString::fromLatin1(_Pic_Description(4));
    EXPECT_EQ(item(main, "edit")->text(), "Original " + description + " Image");
    EXPECT_EQ(item(main, "editwith")->text(), "Original " + description + " with...");
    EXPECT_EQ(item(main, "seledit")->text(), "Select " + description + " Editor");
    form.Settings.Editors[4] = "/bin/true";
    form.Settings.Editors[1].clear();
    open_menu(main);
    EXPECT_TRUE(item(main, "edit")->isEnabled());
    EXPECT_FALSE(item(main, "editasbmp")->isEnabled());
}

TEST(CommandProcessing, RockerHalvesAndButtonsSendTheirCodes)
{
    const std::string path = write_bmp24("colour.bmp", 47, 32);  // rows padded to 4 bytes
    TForm1 form;
    form.LoadImage(QString::fromStdString(path));
    ASSERT_TRUE(showAndWait(form));
    auto* brightness = child<TMButton>(form, "MButton18");
    ASSERT_EQ(brightness->width(), 30);

    QTest::mouseClick(brightness, Qt::LeftButton, {}, QPoint(14, 11));  // left half: darker
    EXPECT_EQ(working_file(form), processed(path, {9}));
    QTest::mouseClick(brightness, Qt::LeftButton, {}, QPoint(15, 11));  // right half: lighter
    EXPECT_EQ(working_file(form), processed(path, {9, 8}));
    QTest::mouseClick(child(form, "MButton31"), Qt::LeftButton, {}, QPoint(15, 11));  // equalise
    EXPECT_EQ(working_file(form), processed(path, {9, 8, 19}));
    item(form.EffectMenu, "Sepia")->trigger();
    EXPECT_EQ(working_file(form), processed(path, {9, 8, 19, 20}));
    // The picture took the new rows in place of the old ones.
    const QImage shown = picture_of(form)->Picture().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, QImage(form.WorkingFile, "BMP").convertToFormat(QImage::Format_RGB32));
}

TEST(CommandProcessing, DepthAndSizeChangesReachTheWindow)
{
    const std::string grey = write_bmp8("grey.bmp", 40, 30);
    TForm1 form;
    form.LoadImage(QString::fromStdString(grey));
    ASSERT_TRUE(showAndWait(form));
    EXPECT_TRUE(child(form, "Panel6")->isHidden());

    item(form.PopupMenu1, "expand24")->trigger();
    EXPECT_EQ(working_file(form), processed(grey, {1}));
    EXPECT_EQ(form.Pic()->bits, 24);
    EXPECT_TRUE(child(form, "Panel6")->isVisible());  // the side toolbar for the new depth
    EXPECT_EQ(label(form, "Label1"), QString::fromLatin1(form.Pic()->description));
    EXPECT_TRUE(label(form, "Label1").contains("24bit")) << label(form, "Label1").toStdString();

    QTest::keyClick(&form, Qt::Key_R);
    EXPECT_EQ(working_file(form), processed(grey, {1, 0}));
    EXPECT_EQ(picture_of(form)->size(), QSize(30, 40));
    QTest::keyClick(&form, 'g');
    EXPECT_EQ(working_file(form), processed(grey, {1, 0, 103}));
    EXPECT_EQ(form.Pic()->bits, 8);
    EXPECT_TRUE(child(form, "Panel6")->isHidden());  // its steps are for 24-bit pictures
    // A step this picture does not take leaves it as it was: no undo step.
    const int steps = form.UndoCount();
    form.SharpUpClick();
    EXPECT_EQ(form.UndoCount(), steps);

    // Forced to 256 colours, the description says what is shown.
    form.Settings.Display = true;
    form.LoadImage(QString::fromStdString(write_bmp24("colour.bmp", 8, 8)));
    EXPECT_EQ(label(form, "Label1"), "BMP : 8x8 - 256 Colours");
}

TEST(CommandProcessing, NothingLoadedNothingHappens)
{
    TForm1 form;
    ASSERT_TRUE(showAndWait(form));
    const QSize before = form.size();
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    ModalSteps any;  // a dialog here would be a fault; it is closed and counted
    any.then<QDialog>([](QDialog& dialog) { QMetaObject::invokeMethod(&dialog, "reject", Qt::QueuedConnection); });

    QTest::mousePress(picture_of(form), Qt::RightButton, {}, QPoint(1, 1));
    QTest::mouseMove(picture_of(form), QPoint(40, 30));
    QTest::mouseRelease(picture_of(form), Qt::RightButton, {}, QPoint(40, 30));
    form.PopupMenu1->hide();
    EXPECT_FALSE(form.HasSelection);
    form.cropClick();
    for (int key : {Qt::Key_G, Qt::Key_R, Qt::Key_S, Qt::Key_C, Qt::Key_E, Qt::Key_P, Qt::Key_F})
        QTest::keyClick(&form, Qt::Key(key));
    form.Settings.Editors[1] = "/bin/true";
    form.editasbmpClick();
    form.resizeClick();
    form.process24Click();
    form.MButton18Click();
    EXPECT_EQ(any.done(), 0u);
    EXPECT_EQ(form.size(), before);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.windowTitle(), "Show");
    EXPECT_EQ(QFileInfo(form.WorkingFile).size(), 0);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "kept");
}

TEST(CommandSave, WritesTheChosenTypeAndAsksBeforeReplacing)
{
    const std::string path = write_bmp24("colour.bmp", 36, 20);
    TForm1 form;
    form.LoadImage(QString::fromStdString(path));
    form.SaveDialog1->setOption(QFileDialog::DontUseNativeDialog);

    // PBMPlus 24bit: the pixels come back as they were.
    const std::string ppm = temp_path("saved.ppm");
    {
        ModalSteps steps;
        steps.then<QFileDialog>(choose(ppm, 11));
        form.save1Click();
        EXPECT_EQ(steps.done(), 1u);
    }
    ScopedPic back;
    ASSERT_EQ(_Pic_Read(ppm.c_str(), back.get(), 3, 0), 1);
    EXPECT_EQ(rgb_rows(*back), rgb_ramp(36, 20));
    EXPECT_EQ(form.Settings.Save, 11);
    EXPECT_EQ(form.SaveDialog1->directory().absolutePath(), QString::fromStdString(temp_dir()));

    // GIF: reduced to 256 colours on the way, while the picture stays 24-bit.
    const std::string gif = temp_path("saved.gif");
    {
        ModalSteps steps;
        steps.then<QFileDialog>(choose(gif, 10));
        form.save1Click();
    }
    ScopedPic gif_back;
    ASSERT_EQ(_Pic_Read(gif.c_str(), gif_back.get(), 3, 0), 1);
    EXPECT_EQ(QSize(gif_back->width, gif_back->height), QSize(36, 20));
    EXPECT_EQ(form.Pic()->bits, 24);

    // "Overwrite" on: replacing asks, also when the name typed carries
    // another extension than the one written; "No" leaves the file and goes
    // back to the dialog for another name.
    write_file(ppm, {'o', 'l', 'd'});
    {
        ModalSteps steps;
        steps.then<QFileDialog>(choose(temp_path("saved.png"), 11))
            .then<QMessageBox>([](QMessageBox& box) {
                EXPECT_TRUE(box.text().startsWith("saved.ppm"));
                QMetaObject::invokeMethod(box.button(QMessageBox::No), "click", Qt::QueuedConnection);
            })
            .then<QFileDialog>([](QFileDialog& dialog) {
                EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text(), "saved.ppm");
                QMetaObject::invokeMethod(&dialog, "reject", Qt::QueuedConnection);
            });
        EXPECT_FALSE(form.SavePicture());
        EXPECT_EQ(steps.done(), 3u);
    }
    EXPECT_EQ(read_file(ppm), Bytes({'o', 'l', 'd'}));

    // "Overwrite" off: replaced without a question.
    form.Settings.Overwrite = false;
    {
        ModalSteps steps;
        steps.then<QFileDialog>(choose(ppm, 11)).then<QMessageBox>([](QMessageBox& box) { box.reject(); });
        form.save1Click();
        EXPECT_EQ(steps.done(), 1u);
    }
    ScopedPic replaced;
    EXPECT_EQ(_Pic_Read(ppm.c_str(), replaced.get(), 3, 0), 1);
}

int library_messages = 0;

TEST(CommandSave, FailuresAreReportedOnce)
{
    TForm1 form;
    form.LoadImage(QString::fromStdString(write_bmp24("colour.bmp", 16, 16)));
    form.SaveDialog1->setOption(QFileDialog::DontUseNativeDialog);

    // A folder that is not there: the viewer says so, naming the file.
    const std::string missing = temp_path("gone/picture.bmp");
    QString caption, text;
    {
        ModalSteps steps;
        steps.then<QFileDialog>(choose(missing, 1)).then<QMessageBox>([&](QMessageBox& box) {
            caption = box.windowTitle();
            text = box.text();
            QMetaObject::invokeMethod(&box, "accept", Qt::QueuedConnection);
        });
        form.save1Click();
        EXPECT_EQ(steps.done(), 2u);
    }
    EXPECT_EQ(caption, "Show");
    EXPECT_EQ(text, "Cannot save " + QString::fromStdString(missing) + "\nNo such file or directory");

    // A monochrome JPEG: the library's own message, and no second one.
    form.LoadImage(QString::fromStdString(write_bmp1("mono.bmp", 16, 16)));
    _Pic_SetMessageHandler([](const char*, const char*) { ++library_messages; });
    {
        ModalSteps steps;
        steps.then<QFileDialog>(choose(temp_path("mono.jpg"), 2)).then<QMessageBox>([](QMessageBox& box) {
            QMetaObject::invokeMethod(&box, "accept", Qt::QueuedConnection);
        });
        form.save1Click();
        EXPECT_EQ(steps.done(), 1u);
    }
    _Pic_SetMessageHandler(nullptr);
    EXPECT_EQ(library_messages, 1);
    EXPECT_FALSE(file_exists(temp_path("mono.jpg")));
}

// An editor that writes each argument it gets on a line of `record`.
std::string stand_in_editor(const std::string& record)
{
    const std::string script = temp_path("editor.sh");
    const std::string text = "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + record + "'\n";
    write_file(script, Bytes(text.begin(), text.end()));
    ::chmod(script.c_str(), 0755);
    return script;
}

QStringList recorded(const std::string& record)
{
    const Bytes bytes = read_file(record);
    return QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))
        .split('\n', Qt::SkipEmptyParts);
}

TEST(CommandEditors, EachGetsItsFileIntact)
{
    const std::string record = temp_path("record.txt");
    const QString editor = QString::fromStdString(stand_in_editor(record));
    const std::string odd = write_bmp24("it's a \"quoted\" pic.bmp", 20, 10);
    TForm1 form;
    form.LoadImage(QString::fromStdString(odd));
    ASSERT_TRUE(showAndWait(form));
    form.Settings.Editors[1] = editor;

    QTest::keyClick(&form, Qt::Key_E);
    ZARN_WAIT_EQ(recorded(record), QStringList({form.WorkingFile}), 10000);
    item(form.PopupMenu1, "edit")->trigger();
    ZARN_WAIT_EQ(recorded(record), QStringList({form.WorkingFile, QString::fromStdString(odd)}), 10000);

    // A command line over 255 characters is refused; the next one still runs.
    form.FileName = QString::fromStdString(temp_path(std::string(250, 'x') + ".bmp"));
    form.editClick();
    form.editasbmpClick();
    ZARN_WAIT_EQ(recorded(record).size(), 3, 10000);
    EXPECT_EQ(recorded(record).back(), form.WorkingFile);

    // Choosing the JPEG editor.
    form.OpenDialog2->setOption(QFileDialog::DontUseNativeDialog);
    QString title;
    ModalSteps steps;
    steps.then<QFileDialog>([&](QFileDialog& dialog) {
        title = dialog.windowTitle();
        type_and_accept(dialog, editor);
    });
    form.SelectEditor(4);
    EXPECT_EQ(title, "Select Editor for jpg");
    EXPECT_EQ(form.Settings.Editors[4], editor);
}

// Runs xclip with `arguments`; empty when it is not installed.
std::unique_ptr<QProcess> xclip(const QStringList& arguments)
{
    if (!have_program("xclip")) return nullptr;
    auto process = std::make_unique<QProcess>();
    process->start(QStringLiteral("xclip"), QStringList({"-selection", "clipboard"}) + arguments);
    return process;
}

TEST(CommandClipboard, CopiesOutAndLoadsFromAnotherProgram)
{
    if (!have_program("xclip")) GTEST_SKIP() << "xclip is not installed";
    const std::string path = write_bmp24("colour.bmp", 30, 20);
    TForm1 form;
    form.LoadImage(QString::fromStdString(path));
    ASSERT_TRUE(showAndWait(form));

    QTest::keyClick(&form, Qt::Key_C);
    const std::unique_ptr<QProcess> paste = xclip({"-t", "image/png", "-o"});
    ZARN_WAIT_TRUE(paste->state() == QProcess::NotRunning, 10000);
    const QImage pasted = QImage::fromData(paste->readAllStandardOutput(), "PNG");
    ASSERT_EQ(pasted.size(), QSize(30, 20));
    for (int y = 0; y < 20; y += 3)
        for (int x = 0; x < 30; x += 3) ASSERT_EQ(pixel(pasted, x, y), expected24(30, 20, x, y)) << x << "," << y;

    // Another program's picture, offered until it is taken over.
    QImage offered(24, 18, QImage::Format_RGB32);
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 24; ++x) offered.setPixel(x, y, qRgb(x * 10, y * 14, 200 - x * 5));
    const QString png = QString::fromStdString(temp_path("offered.png"));
    ASSERT_TRUE(offered.save(png, "PNG"));
    const std::unique_ptr<QProcess> offer = xclip({"-quiet", "-t", "image/png", "-i", png});
    ZARN_WAIT_EQ(QGuiApplication::clipboard()->image().size(), QSize(24, 18), 10000);
    open_menu(form.PopupMenu1);
    ASSERT_TRUE(item(form.PopupMenu1, "loadclip")->isVisible());
    item(form.PopupMenu1, "loadclip")->trigger();
    EXPECT_EQ(form.FileTitle, "Clipboard Image");
    EXPECT_EQ(form.windowTitle(), "Show - Clipboard Image");
    EXPECT_EQ(form.Pic()->width, 24);  // the library reads the working file back
    EXPECT_EQ(picture_of(form)->size(), QSize(24, 18));
    const QImage& shown = picture_of(form)->Picture();
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 24; ++x) ASSERT_EQ(shown.pixel(x, y), offered.pixel(x, y)) << x << "," << y;
    offer->kill();
    offer->waitForFinished();
}

// The question asked before a changed picture is dropped, answered with `answer`.
std::function<void(QMessageBox&)> answer_save_question(QMessageBox::StandardButton answer, QString* text = nullptr)
{
    return [answer, text](QMessageBox& box) {
        if (text) *text = box.text();
        QMetaObject::invokeMethod(box.button(answer), "click", Qt::QueuedConnection);
    };
}

TEST(CommandSave, AChangedPictureIsDroppedOnlyWhenTheUserSaysSo)
{
    const std::string first = write_bmp24("a.bmp", 24, 16);
    const std::string second = write_bmp24("b.bmp", 24, 16);
    TForm1 form;
    form.LoadImage(QString::fromStdString(first));
    form.OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
    form.SaveDialog1->setOption(QFileDialog::DontUseNativeDialog);
    ASSERT_TRUE(showAndWait(form));

    // Unchanged, or changed and undone: nothing to ask.
    QTest::keyClick(&form, Qt::Key_G);
    QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(form.HasUnsavedChanges());

    // Esc, cancelled: the viewer stays with its grey picture.
    QTest::keyClick(&form, Qt::Key_G);
    QString text;
    {
        ModalSteps steps;
        steps.then<QMessageBox>(answer_save_question(QMessageBox::Cancel, &text));
        QTest::keyClick(&form, Qt::Key_Escape);
        EXPECT_EQ(steps.done(), 1u);
    }
    EXPECT_EQ(text, "Save changes to a.bmp?");
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.Pic()->bits, 8);

    // Right, discarded: the next picture.
    {
        ModalSteps steps;
        steps.then<QMessageBox>(answer_save_question(QMessageBox::Discard));
        QTest::keyClick(&form, Qt::Key_Right);
        EXPECT_EQ(steps.done(), 1u);
    }
    EXPECT_EQ(form.FileName, QString::fromStdString(second));

    // Open, saved first: the grey picture is in the file named, then the
    // chosen one is shown.
    QTest::keyClick(&form, Qt::Key_G);
    const std::string saved = temp_path("grey-b.bmp");
    {
        ModalSteps steps;
        steps.then<QFileDialog>(choose(first))
            .then<QMessageBox>(answer_save_question(QMessageBox::Save))
            .then<QFileDialog>(choose(saved, 1));
        form.OpenClick();
        EXPECT_EQ(steps.done(), 3u);
    }
    EXPECT_EQ(form.FileName, QString::fromStdString(first));
    ScopedPic back;
    ASSERT_EQ(_Pic_Read(saved.c_str(), back.get(), 3, 0), 1);
    EXPECT_EQ(back->bits, 8);

    // "AskSave" off: Esc closes at once.
    QTest::keyClick(&form, Qt::Key_G);
    form.Settings.AskSave = false;
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
}

TEST(CommandSave, SuggestsThePicturesNameAndKeepsOnlyAFolderThatTookIt)
{
    write_settings("SaveDir=/proc/self\n");  // where listing a folder can block
    TForm1 form;
    EXPECT_EQ(form.Settings.SaveDir, QDir::homePath());
    form.LoadImage(QString::fromStdString(write_bmp24("holiday.bmp", 16, 16)));
    form.SaveDialog1->setOption(QFileDialog::DontUseNativeDialog);
    QString suggested;
    {
        ModalSteps steps;
        steps
            .then<QFileDialog>([&](QFileDialog& dialog) {
                suggested = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
                choose(temp_path("gone/holiday.bmp"), 1)(dialog);
            })
            .then<QMessageBox>(
                [](QMessageBox& box) { QMetaObject::invokeMethod(&box, "accept", Qt::QueuedConnection); });
        EXPECT_FALSE(form.SavePicture());
        EXPECT_EQ(steps.done(), 2u);
    }
    EXPECT_EQ(suggested, "holiday");
    EXPECT_EQ(form.Settings.SaveDir, QDir::homePath());
}

TEST(CommandProcessing, AnUpdateTheLibraryCannotTakeKeepsThePicture)
{
    TForm1 form;
    form.LoadImage(QString::fromStdString(write_bmp8("grey.bmp", 20, 10)));
    ASSERT_TRUE(showAndWait(form));
    const QImage before = picture_of(form)->Picture();
    // An outside editor saved the working file as a 32-bit bitmap.
    BmpBuilder().size(20, 10).bits(32).pixels(Rows(10, Bytes(80, 0x40))).write(form.WorkingFile.toStdString());
    form.reloadClick();
    EXPECT_EQ(form.windowTitle(), "Show - Error Loading Image");
    EXPECT_EQ(picture_of(form)->Picture(), before);
    // The commands still work on the picture shown.
    form.rotateClick();
    EXPECT_EQ(picture_of(form)->Picture().size(), QSize(10, 20));
}

}  // namespace

// The photo's date, camera and place go into a JPEG saved from it, also
// when it is saved over the photo itself; the saved picture is upright, and
// so is its orientation tag.
TEST(CommandSave, JpegKeepsThePhotosMetadata)
{
    REQUIRE_PHOTO_TOOLS();
    if (!file_exists(ZARN_BIN_DIR "/libzarnmeta.so")) GTEST_SKIP() << "metadata module not built";
    const std::string photo = write_photo("photo.jpg");
    ASSERT_FALSE(photo.empty());
    TForm1 form;
    form.LoadImage(QString::fromStdString(photo));
    form.SaveDialog1->setOption(QFileDialog::DontUseNativeDialog);
    form.Settings.Overwrite = false;
    for (const std::string& saved : {temp_path("saved.jpg"), photo}) {
        SCOPED_TRACE(saved);
        {
            ModalSteps steps;
            steps.then<QFileDialog>(choose(saved, 2));
            form.save1Click();
            EXPECT_EQ(steps.done(), 1u);
        }
        auto tags = exiftool_tags(saved);
        EXPECT_EQ(tags["DateTimeOriginal"], "2024:05:01 12:34:56");
        EXPECT_EQ(tags["Model"], "Acme Shooter 5");
        EXPECT_EQ(tags["GPSLatitude"].substr(0, 8), "48.85837");
        EXPECT_EQ(tags["Orientation"], "1");
        EXPECT_EQ(tags["ExifImageWidth"], "48");
        ScopedPic back;
        ASSERT_EQ(_Pic_Read(saved.c_str(), back.get(), 3, 0), 1);
        EXPECT_EQ(QSize(back->width, back->height), QSize(48, 64));
    }
}
