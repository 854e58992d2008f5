// Hostile input where it reaches the real main window: FIFOs, sockets, devices, folders
// and link loops dropped or scanned, odd names and 4,000-byte paths shown, 100,000 files
// in the list and the tree, unreadable files, and files that change while the window
// checks or after it, under its single-file commands. Each case checks the window's
// result or message against the pairwise run, that nothing hangs, and that no file was
// lost or altered. What the core decides alone (sparse files, files changed between
// listing and checking, each special file alone) is tested in the core.
#include "ui/Desktop.h"
#include "ui/PathDisplay.h"
#include "support/ui/MainWindow.h"
#include "support/ui/TestFiles.h"

#include "support/HostileFixture.h"
#include "support/CheckOracle.h"
#include "scan/FileError.h"
#include "scan/Platform.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using CheckOracle::Outcome;
using Hostile::Fixture;
using Hostile::ManifestDiff;
using Hostile::Sorted;
using Paths = std::vector<std::string>;

namespace {

// Set in the copy of this test that runs without root's file capabilities.
const char* const kUnprivileged = "TESSARIN_HOSTILE_UNPRIVILEGED";
const char* const kFixtureVar = "TESSARIN_HOSTILE_FIXTURE";
// A case that hangs kills the process after this long instead of stalling the suite.
constexpr unsigned kWatchdogSeconds = 120;

} // namespace

class TestHostile : public MainWindowTest {
    Q_OBJECT

public:
    TestHostile() : MainWindowTest(Shown::Exposed) {}

private slots:
    void init();
    void cleanup();

    void specialFilesDropped();
    void oddNamesAndLongPathsDropped();
    void hostileFolderScanned();
    void hundredThousandFiles();
    void changedDuringTheCheck();
    void singleFileCommandsOnChangedFiles();
    void unreadableFiles();

private:
    // Drops paths onto the window and checks they were listed as they are.
    void drop(const Paths& paths);
    // Empties the list and the tree through the clear command.
    void clearAll();
    // Selects the file node child of the last group and returns it.
    ResultRow selectLastGroupChild(int child);
    // Lists only a and b, checks them, and selects b's node.
    ResultRow checkPair(const std::string& a, const std::string& b);
};

void TestHostile::init()
{
    alarm(kWatchdogSeconds);
    MainWindowTest::init();
}

void TestHostile::cleanup()
{
    MainWindowTest::cleanup();
    alarm(0);
}

void TestHostile::drop(const Paths& paths)
{
    const std::size_t before = form->Candidates().Count();
    QVERIFY(DropUriList(form.get(), UriList(paths)));
    QCOMPARE(form->Candidates().Count(), before + paths.size());
    for (std::size_t k = 0; k < paths.size(); ++k)
        QCOMPARE(form->Candidates().At(before + k), paths[k]);
    QCOMPARE(w().CountLabel->text(), QString::number(form->Candidates().Count()));
}

void TestHostile::clearAll()
{
    desktop->confirmAnswers.push_back(true);
    form->btnClearClick();
    desktop->confirmAnswers.clear();
    QCOMPARE(form->Candidates().Count(), std::size_t { 0 });
    QCOMPARE(w().FileTree->topLevelItemCount(), 0);
}

ResultRow TestHostile::selectLastGroupChild(int child)
{
    const int groups = w().FileTree->topLevelItemCount();
    if (groups == 0)
        return nullptr;
    ResultRow node = w().FileTree->topLevelItem(groups - 1)->child(child);
    if (!node)
        return nullptr;
    selectNode(node);
    return node;
}

ResultRow TestHostile::checkPair(const std::string& a, const std::string& b)
{
    clearAll();
    drop({ a, b });
    CheckFromButton(*form, {}, desktop);
    return selectLastGroupChild(1);
}

// ---------------------------------------------------------------------------------------

void TestHostile::specialFilesDropped()
{
    Fixture fx;
    const std::string a = fx.Write("a.jpg", "same");
    const std::string b = fx.Write("b.jpg", "same");
    const std::string fifo = fx / "pipe.jpg";
    QCOMPARE(mkfifo(fifo.c_str(), 0644), 0);
    const std::string fed = fx / "fed.jpg";
    QCOMPARE(mkfifo(fed.c_str(), 0644), 0);
    // Kept open and full, so a reader that blocked would not be woken by its end.
    const int writer = open(fed.c_str(), O_RDWR | O_NONBLOCK);
    QVERIFY(writer >= 0);
    QCOMPARE(write(writer, "data", 4), 4);
    const std::string sock = fx / "socket.jpg";
    const int s = Hostile::BoundSocket(sock);
    QVERIFY(s >= 0);
    QCOMPARE(symlink("loop.jpg", (fx / "loop.jpg").c_str()), 0);
    QCOMPARE(symlink("nowhere", (fx / "dangling.jpg").c_str()), 0);
    const std::string folder = fx.MakeDir("folder.jpg");
    fx.Write("folder.jpg/inner.jpg", "same");
    const auto before = fx.Manifest();

    Paths specials { fifo, fed, sock, fx / "loop.jpg", fx / "dangling.jpg", folder };
    struct stat st { };
    if (lstat("/dev/zero", &st) == 0 && S_ISCHR(st.st_mode))
        specials.push_back("/dev/zero");
    // Dropped at once they are listed as they are, and the check ends with the box of
    // the one the pairwise run meets first (each one alone is the core's case).
    Paths all = specials;
    all.insert(all.begin(), a);
    all.push_back(b);
    drop(all);
    CheckFromButton(*form, {}, desktop);
    compareWithPairwise(all);
    close(writer);
    close(s);
    QCOMPARE(QString::fromStdString(ManifestDiff(before, fx.Manifest())), QString());
}

void TestHostile::oddNamesAndLongPathsDropped()
{
    Fixture fx;
    const Paths names { "\xff\xfe invalid.jpg", "line\nbreak.jpg",
        "\xe5\x86\x99\xe7\x9c\x9f \xe3\x83\x95.jpg", "it's \"quoted\".jpg", "  blanks  .jpg",
        "tab\tand\rcr.jpg", "back\\slash.jpg", "%41 percent.jpg", "#hash?query.jpg", "\xc3\x28 bad.jpg" };
    Paths entries;
    for (std::size_t k = 0; k < names.size(); ++k)
        entries.push_back(fx.Write(names[k], "content " + std::to_string(k / 2)));
    const std::string deepDir = Hostile::DeepFolder(fx, "d", 4000, 8);
    Hostile::WriteDeep(fx, deepDir, "deep.jpg", "content 0");
    entries.push_back(deepDir + "/deep.jpg");
    QCOMPARE(entries.back().size(), std::size_t { 4000 });
    const auto before = fx.Manifest();

    drop(entries);
    // The list shows every name readably, bytes that are not text as escapes.
    for (std::size_t k = 0; k < entries.size(); ++k)
        QCOMPARE(w().FileList->model()->index(static_cast<int>(k), 0).data().toString(),
            PathToDisplay(entries[k]));
    CheckFromButton(*form, {}, desktop);
    compareWithPairwise(entries);
    QCOMPARE(w().FileTree->topLevelItemCount(), 5);
    // Tree captions are readable too, while the nodes keep the bytes.
    const ResultRow first = w().FileTree->topLevelItem(0);
    for (int c = 0; c < first->childCount(); ++c)
        QCOMPARE(first->child(c)->text(0), PathToDisplay(NodePath(first->child(c))));
    QCOMPARE(QString::fromStdString(ManifestDiff(before, fx.Manifest())), QString());
}

void TestHostile::hostileFolderScanned()
{
    // A folder holding everything that must not become a candidate, next to odd names
    // and a file 4,000 bytes deep; scanned with subfolders by the add-folder command.
    Fixture fx;
    const std::string a = fx.Write("a.jpg", "same");
    const std::string odd = fx.Write("\xff\n odd.jpg", "same");
    QCOMPARE(mkfifo((fx / "pipe.jpg").c_str(), 0644), 0);
    const int s = Hostile::BoundSocket(fx / "socket.jpg");
    QVERIFY(s >= 0);
    QCOMPARE(symlink(".", (fx / "here").c_str()), 0);
    QCOMPARE(symlink("self.jpg", (fx / "self.jpg").c_str()), 0);
    const std::string sub = fx.MakeDir("sub");
    QCOMPARE(symlink("..", (sub + "/up").c_str()), 0);
    QCOMPARE(mkfifo((sub + "/inner.jpg").c_str(), 0644), 0);
    const std::string deepDir = Hostile::DeepFolder(fx, "sub2", 4000, 8);
    Hostile::WriteDeep(fx, deepDir, "deep.jpg", "same");
    // And one past PATH_MAX, which no path can reach.
    const std::string tooDeep = Hostile::DeepFolder(fx, "sub3", 4300, 8);
    Hostile::WriteDeep(fx, tooDeep, "deep.jpg", "same");
    const auto before = fx.Manifest();

    w().ExtEdit->setText(u"*.jpg"_s);
    QVERIFY(w().OptionCheck1->isChecked());
    desktop->folderAnswers.push_back(fx.Path());
    form->btnAddFolderClick();
    WaitForRunEnd(*form);
    QVERIFY2(desktop->errors.isEmpty(), qPrintable(desktop->errors.join(u'\n')));
    const Paths listed = form->Candidates().Entries();
    QCOMPARE(Sorted(listed), Sorted({ a, odd, deepDir + "/deep.jpg" }));
    CheckFromButton(*form, {}, desktop);
    compareWithPairwise(listed);
    QCOMPARE(w().FileTree->topLevelItemCount(), 1);
    close(s);
    QCOMPARE(QString::fromStdString(ManifestDiff(before, fx.Manifest())), QString());
}

void TestHostile::hundredThousandFiles()
{
    Fixture fx(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : QDir::tempPath().toStdString());
    const int dirFd = open(fx.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QVERIFY(dirFd >= 0);
    constexpr int kCount = 100000;
    for (int k = 0; k < kCount; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "f%06d.jpg", k);
        const int f = openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        QVERIFY(f >= 0);
        if (k % 25013 == 0)
            QCOMPARE(write(f, "x", 1), 1);
        close(f);
    }
    close(dirFd);
    const auto before = fx.Manifest();

    desktop->folderAnswers.push_back(fx.Path());
    form->btnAddFolderClick();
    WaitForRunEnd(*form);
    QCOMPARE(form->Candidates().Count(), std::size_t { kCount });
    QCOMPARE(w().CountLabel->text(), u"100000"_s);
    CheckFromButton(*form, {}, desktop);
    QVERIFY2(desktop->errors.isEmpty(), qPrintable(desktop->errors.join(u'\n')));
    // The empty files form one group, the four with a byte another; one of each stays.
    QCOMPARE(w().FileTree->topLevelItemCount(), 2);
    QCOMPARE(w().FileTree->topLevelItem(0)->childCount() + w().FileTree->topLevelItem(1)->childCount(),
        kCount);
    QCOMPARE(form->Candidates().Count(), std::size_t { 2 });
    QCOMPARE(w().CountLabel->text(), u"2"_s);
    verifyIdle();
    QCOMPARE(QString::fromStdString(ManifestDiff(before, fx.Manifest())), QString());
}

void TestHostile::changedDuringTheCheck()
{
    // The window processes events while it checks; files deleted, grown and emptied
    // meanwhile end the run with a result or a message, never with an entry lost.
    for (int variant = 0; variant < 3; ++variant) {
        clearAll();
        Fixture fx;
        const Paths entries = WriteChangingSet(fx);
        const auto untouched = [&] { return UntouchedPartOfChangingSet(fx); };
        const auto before = untouched();
        drop(entries);
        int step = 0;
        std::function<void()> meddle;
        meddle = [&] {
            if (!form->Checking() || step >= 6)
                return;
            const std::string& victim = entries[static_cast<std::size_t>(step++)];
            if (variant == 0)
                unlink(victim.c_str());
            else if (variant == 1)
                std::ofstream(victim, std::ios::binary | std::ios::app) << "x";
            else if (truncate(victim.c_str(), 0) != 0)
                return;
            QTimer::singleShot(0, form.get(), meddle);
        };
        QTimer::singleShot(0, form.get(), meddle);
        CheckFromButton(*form, {}, desktop);
        QVERIFY2(step > 0, "the run processed no events");
        verifyIdle();
        const Outcome out = windowOutcome();
        std::multiset<std::string> seen(out.list.begin(), out.list.end());
        for (const auto& group : out.groups) {
            QVERIFY(!group.children.empty());
            seen.insert(group.children.begin() + 1, group.children.end());
        }
        QVERIFY2(
            seen == std::multiset<std::string>(entries.begin(), entries.end()), PrintOutcome(out).c_str());
        QVERIFY(desktop->errors.size() <= 1);
        if (!desktop->errors.isEmpty()) {
            bool namesEntry = false;
            for (const std::string& e : entries)
                namesEntry = namesEntry
                    || desktop->errors[0]
                        == PathToDisplay(Files::ErrorBoxText(Files::OpenErrorText(e)));
            QVERIFY2(namesEntry, qPrintable(desktop->errors[0]));
        }
        QCOMPARE(QString::fromStdString(ManifestDiff(before, untouched())), QString());
    }
}

void TestHostile::singleFileCommandsOnChangedFiles()
{
    Fixture fx;
    const std::string a = fx.Write("a.jpg", "copy");
    const std::string b = fx.Write("b.jpg", "copy");
    const std::string other = fx.MakeDir("other");
    ResultRow node = checkPair(a, b);
    QVERIFY(node);
    QCOMPARE(NodePath(node), b);
    const auto kept = fx.Manifest().at("a.jpg");

    // b vanished since the check: rename and move say so and leave the node; open is
    // handed to the desktop; delete takes the node away.
    QCOMPARE(unlink(b.c_str()), 0);
    desktop->ClearRecords();
    desktop->inputAnswers.push_back(u"b2.jpg"_s);
    form->popRenameClick();
    QCOMPARE(desktop->errors, QStringList { u"File not found."_s });
    QCOMPARE(NodePath(node), b);
    desktop->ClearRecords();
    desktop->folderAnswers.push_back(other);
    form->popMoveClick();
    QCOMPARE(
        desktop->errors, QStringList { PathToDisplay(Files::ErrorBoxText(Files::OpenErrorText(b))) });
    QCOMPARE(NodePath(node), b);
    desktop->ClearRecords();
    form->popShowClick();
    QCOMPARE(desktop->shellOpened, Paths { b });
    desktop->confirmAnswers.push_back(true);
    form->popDeleteClick();
    QVERIFY(desktop->errors.isEmpty());
    QCOMPARE(w().FileTree->topLevelItem(0)->childCount(), 1);
    QCOMPARE(fx.Manifest().at("a.jpg"), kept);

    // The name came back as a folder, then as a link to the kept copy: it is not the
    // file the check found, so the delete keeps it and says so; nothing changes.
    const std::string c = fx.Write("c.jpg", "second");
    const std::string d = fx.Write("d.jpg", "second");
    node = checkPair(c, d);
    QVERIFY(node);
    QCOMPARE(unlink(d.c_str()), 0);
    fx.Write("d.jpg/inside.jpg", "inside");
    const QStringList changed { u"次のファイルは削除しませんでした：\n"_s + PathToDisplay(d) + u" (確認の後に変更されました)"_s };
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            std::filesystem::remove_all(d);
            QCOMPARE(symlink(c.c_str(), d.c_str()), 0);
        }
        const auto before = fx.Manifest();
        desktop->ClearRecords();
        desktop->confirmAnswers.push_back(true);
        form->popDeleteClick();
        QVERIFY(desktop->errors.isEmpty());
        QCOMPARE(desktop->informations, changed);
        QCOMPARE(QString::fromStdString(ManifestDiff(before, fx.Manifest())), QString());
        QCOMPARE(w().FileTree->topLevelItem(0)->childCount(), 2);
    }

    // A name taken after the check is never replaced by a rename (a move onto a taken
    // name is the tree tests' case).
    const std::string e = fx.Write("e.jpg", "third");
    const std::string f = fx.Write("f.jpg", "third");
    node = checkPair(e, f);
    QVERIFY(node);
    fx.Write("taken.jpg", "someone else's");
    const auto before = fx.Manifest();
    desktop->ClearRecords();
    desktop->inputAnswers.push_back(u"taken.jpg"_s);
    form->popRenameClick();
    QCOMPARE(desktop->informations, QStringList { u"このファイル名は存在します。"_s });
    QVERIFY(desktop->errors.isEmpty());
    QCOMPARE(NodePath(node), f);
    QCOMPARE(QString::fromStdString(ManifestDiff(before, fx.Manifest())), QString());

    // A Japanese name with blanks and quotes is taken as typed; the bytes stay.
    desktop->inputAnswers.push_back(u"新しい \"名前\" 'x'.jpg"_s);
    form->popRenameClick();
    const std::string renamed = fx / "新しい \"名前\" 'x'.jpg";
    QCOMPARE(NodePath(node), renamed);
    auto after = fx.Manifest();
    QCOMPARE(after.at("新しい \"名前\" 'x'.jpg"), before.at("f.jpg"));
}

void TestHostile::unreadableFiles()
{
    if (!qEnvironmentVariableIsSet(kUnprivileged)) {
        // This test again, in a process that root's file capabilities were taken from.
        Fixture fx;
        fx.Write("a.jpg", "same");
        fx.Write("b.jpg", "same");
        const std::string secret = fx.Write("secret.jpg", "same");
        const std::string locked = fx.MakeDir("locked");
        fx.Write("locked/c.jpg", "same");
        fx.Write("open/d.jpg", "same");
        chmod(secret.c_str(), 0);
        chmod(locked.c_str(), 0);
        const auto before = fx.Manifest();
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kUnprivileged), u"1"_s);
        env.insert(QString::fromLatin1(kFixtureVar), QString::fromStdString(fx.Path()));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), { u"unreadableFiles"_s });
        QVERIFY(child.waitForFinished(kWatchdogSeconds * 1000));
        const QString output = QString::fromUtf8(child.readAll());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(output));
        if (output.contains(u"SKIP "_s))
            QSKIP("the unprivileged copy could not make files unreadable");
        QCOMPARE(QString::fromStdString(ManifestDiff(before, fx.Manifest())), QString());
        return;
    }
    const std::string root = qEnvironmentVariable(kFixtureVar).toStdString();
    const std::string secret = root + "/secret.jpg";
    if (access(secret.c_str(), R_OK) == 0)
        QSKIP("permission bits do not bind here");
    // A folder that cannot be listed adds nothing and shows nothing.
    w().ExtEdit->setText(u"*.jpg"_s);
    desktop->folderAnswers.push_back(root);
    form->btnAddFolderClick();
    WaitForRunEnd(*form);
    QVERIFY2(desktop->errors.isEmpty(), qPrintable(desktop->errors.join(u'\n')));
    const Paths listed = form->Candidates().Entries();
    QCOMPARE(Sorted(listed), Sorted({ root + "/a.jpg", root + "/b.jpg", secret, root + "/open/d.jpg" }));
    // The check stops at the unreadable file with its name.
    CheckFromButton(*form, {}, desktop);
    compareWithPairwise(listed);
    QCOMPARE(desktop->errors.size(), 1);
    QCOMPARE(desktop->errors[0], PathToDisplay(Files::ErrorBoxText(Files::OpenErrorText(secret))));
    // Listed in front, it stops the run at once.
    clearAll();
    drop({ secret, root + "/a.jpg", root + "/b.jpg" });
    CheckFromButton(*form, {}, desktop);
    compareWithPairwise({ secret, root + "/a.jpg", root + "/b.jpg" });
}

int main(int argc, char** argv)
{
    // Before any thread exists, so that every later thread inherits the reduced set.
    if (qEnvironmentVariableIsSet(kUnprivileged) && !DropFileCapabilities())
        return 3;
    QApplication app(argc, argv);
    TestHostile test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_unit1_hostile.moc"
