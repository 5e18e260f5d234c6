// The real `halvoren` end to end, as a viewer starts it: under Xvfb with the dummy audio driver,
// in a folder holding a small "data.hlv" packed by the build's halvoren-pack (the real shaders,
// images and MIDI file, with a short test song in place of the real one) and a "default.cfg".
// The settings dialog and the show window are answered with xdotool. Every wait has a deadline;
// a program still running at its deadline is killed and the test fails.
//
// Cases: "&Runit" plays the 2-second song to its end (exit 0, settings written); Escape in the
// dialog (exit 0, settings untouched, no show); no archive (the error box, exit 1, and SDL is
// still shut down on the way out, seen from a debugger); Escape in the show (exit 0 long before
// a 36-second song could end); the command line: refusals end with code 2 before any window,
// --no-dialog plays at once with its overrides, a size given with the dialog is preselected, and
// neither run saves an override; a folder where "default.cfg" cannot be written and more samples
// than the driver offers still play, each said on standard error. (The dialog's place and its
// signals: dialog_signal_test.sh.)
// The cases may run at the same time on one display: windows are found by process, and each
// focus-and-key step holds a lock so no other case takes the focus in between.
#include "test_support.h"
#include <gtest/gtest.h>
#include <chrono>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

static const char* SHOW = HALVOREN_BINARY_DIR "/halvoren";
static const char* PACK = HALVOREN_BINARY_DIR "/tools/pack/halvoren-pack";
static const char* CONFIG = "width 640 height 360 flags 0 samples 0 vsync 0";
// Deadlines only: a healthy run is far quicker.
static const double WINDOW_WAIT_SECONDS = 30.0; // dialog, show window or error box to appear
static const double SHOW_WAIT_SECONDS = 60.0;   // loading plus the 2-second song
// The long song starts after the window appears, so a show still running this long after Escape
// was pressed in its window has ignored it; loading may take most of this.
static const double ESCAPE_WAIT_SECONDS = 20.0;
static const char* SHORT_SONG = "tests/fixtures/sine344_2s.mp3";
static const char* CLICK_SONG = "tests/fixtures/song_click.mp3"; // about 9 seconds
static const int LONG_SONG_REPEATS = 4; // MP3 frames simply follow each other: about 36 seconds

// >> helpers
static std::string capture(const std::string& command)
{
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, got);
    pclose(p);
    return out;
}

static bool exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

static double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

static void nap() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

// A run folder named after the case: a root tree (the source data tree linked in, the music
// replaced by `song` and the song's real MIDI file), the archive packed from the show's manifest,
// and the small window's settings. With `archive` false the folder holds no "data.hlv" but a copy
// of the program, so none lies beside the program either.
static std::string prepareFolder(const char* name, const std::vector<uint8_t>& song, bool archive)
{
    std::string folder = std::string(name);
    capture("rm -rf '" + folder + "'");
    const std::string dirs[] = {folder, folder + "/root", folder + "/root/data", folder + "/root/data/common",
                                folder + "/root/data/common/music"};
    for (const std::string& d : dirs) mkdir(d.c_str(), 0755);
    // Every asset folder of the source tree, except the music.
    capture("for d in '" + sourcePath("data") + "'/* '" + sourcePath("data/common") +
            "'/*; do n=${d#" + sourcePath("data") + "/}; case $n in common|common/music) ;; *) ln -s \"$d\" '" +
            folder + "/root/data/'\"$n\";; esac; done");
    writeTestFile(folder + "/root/data/common/music/dubr0lp.mp3", song);
    writeTestFile(folder + "/root/data/common/music/dubr0lp.mid",
                  readTestFile(sourcePath("data/common/music/dubr0lp.mid")));
    writeTestFile(folder + "/default.cfg", std::string(CONFIG));
    if (archive) {
        std::string packed = capture(std::string(PACK) + " --root '" + folder + "/root' --manifest '" +
                                     sourcePath("data/manifest.txt") + "' --out '" + folder + "/data.hlv' 2>&1");
        EXPECT_TRUE(exists(folder + "/data.hlv")) << packed;
    } else {
        capture("cp '" + std::string(SHOW) + "' '" + folder + "/halvoren'");
    }
    return folder;
}

// Starts the show in `folder` with `args`, its output in show.out and show.err there: the folder's
// own copy of the program when it has one. With `debuggerScript` the show runs under gdb with that
// command file (gdb's own output goes to show.out too).
static pid_t startShow(const std::string& folder, const std::vector<std::string>& args = {},
                       const char* debuggerScript = nullptr)
{
    std::string program = exists(folder + "/halvoren") ? "./halvoren" : SHOW;
    std::vector<const char*> argv;
    if (debuggerScript) argv = {"gdb", "-q", "-batch", "-x", debuggerScript, "--args"};
    argv.push_back(program.c_str());
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        if (!freopen("show.out", "w", stdout) || !freopen("show.err", "w", stderr)) _exit(127);
        execvp(argv[0], (char* const*)argv.data());
        _exit(127);
    }
    return pid;
}

// Waits for the process to end: its exit code, or -1 (after killing it) when the deadline passed.
static int waitForExit(pid_t pid, double seconds)
{
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (secondsSince(start) > seconds) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        nap();
    }
}

// Whether the process still runs; an ended child is left unreaped, so waitForExit gets its code.
static bool running(pid_t pid)
{
    siginfo_t info;
    memset(&info, 0, sizeof info);
    if (waitid(P_PID, (id_t)pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0) return info.si_pid == 0;
    return kill(pid, 0) == 0; // not our child: the show under the debugger
}

// A window of the process whose title matches `regex` (xdotool's --name), or "" at the deadline.
static std::string waitForNamedWindow(pid_t pid, const char* regex)
{
    auto start = std::chrono::steady_clock::now();
    while (secondsSince(start) < WINDOW_WAIT_SECONDS && running(pid)) {
        std::string out = capture("timeout 5 xdotool search --all --pid " + std::to_string(pid) + " --name '" +
                                  regex + "' 2>/dev/null | head -1");
        if (!out.empty()) return out.substr(0, out.find('\n'));
        nap();
    }
    return "";
}

// The show's own window: its caption is set as a UTF-8 name, which xdotool's --name does not read.
static std::string waitForShowWindow(pid_t pid)
{
    auto start = std::chrono::steady_clock::now();
    while (secondsSince(start) < WINDOW_WAIT_SECONDS && running(pid)) {
        std::string windows = capture("timeout 5 xdotool search --pid " + std::to_string(pid) + " 2>/dev/null");
        size_t at = 0;
        while (at < windows.size()) {
            size_t end = windows.find('\n', at);
            if (end == std::string::npos) end = windows.size();
            std::string id = windows.substr(at, end - at);
            at = end + 1;
            if (id.empty()) continue;
            std::string name = capture("timeout 5 xprop -id " + id + " _NET_WM_NAME 2>/dev/null");
            if (name.find("\"halvoren demo engine\"") != std::string::npos) return id;
        }
        nap();
    }
    return "";
}

// The show's window; when none appears, a failure, the process ended, and "".
static std::string expectShowWindow(pid_t pid)
{
    std::string window = waitForShowWindow(pid);
    EXPECT_FALSE(window.empty()) << "no window captioned \"halvoren demo engine\"";
    if (window.empty()) waitForExit(pid, 0.0);
    return window;
}

static std::vector<uint8_t> shortSong() { return readTestFile(sourcePath(SHORT_SONG)); }

static std::vector<uint8_t> longSong()
{
    std::vector<uint8_t> one = readTestFile(sourcePath(CLICK_SONG)), song;
    for (int i = 0; i < LONG_SONG_REPEATS; i++) song.insert(song.end(), one.begin(), one.end());
    return song;
}

// Focuses the window and types the key, holding a lock per display for both steps.
static void pressKey(const std::string& window, const char* key)
{
    capture("flock -w 10 '" + keyLockPath() + "' timeout 5 xdotool windowfocus --sync " + window + " key " + key + " 2>&1");
}

class ShowRun : public testing::Test {
protected:
    void SetUp() override
    {
        const char* display = getenv("DISPLAY");
        if (!display || !display[0]) SKIP_UNLESS_REQUIRED("no display");
        if (capture("command -v xdotool xprop").empty()) SKIP_UNLESS_REQUIRED("xdotool or xprop missing");
        ASSERT_TRUE(exists(SHOW)) << "build the target halvoren first";
        ASSERT_TRUE(exists(PACK)) << "build the target halvoren-pack first";
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
};

// Answers the settings dialog with `key`; false (the process killed) when no dialog appeared.
static bool answerDialog(pid_t pid, const char* key)
{
    std::string dialog = waitForNamedWindow(pid, "^Halvoren Sound System$");
    EXPECT_FALSE(dialog.empty()) << "the settings dialog never appeared";
    if (dialog.empty()) {
        waitForExit(pid, 0.0);
        return false;
    }
    pressKey(dialog, key);
    return true;
}

// The debugger's child: the show itself.
static pid_t waitForChildOf(pid_t parent)
{
    auto start = std::chrono::steady_clock::now();
    while (secondsSince(start) < WINDOW_WAIT_SECONDS && running(parent)) {
        std::string out = capture("pgrep -P " + std::to_string(parent) + " | head -1");
        if (!out.empty()) return (pid_t)atoi(out.c_str());
        nap();
    }
    return -1;
}

// >> cases
TEST_F(ShowRun, RunitPlaysTheSongToItsEndAndSavesTheSettings)
{
    std::string folder = prepareFolder("runit", shortSong(), true);
    pid_t pid = startShow(folder);
    if (!answerDialog(pid, "Return")) return;
    EXPECT_FALSE(waitForShowWindow(pid).empty()) << "no window captioned \"halvoren demo engine\"";
    EXPECT_EQ(waitForExit(pid, SHOW_WAIT_SECONDS), 0) << readTestText(folder + "/show.err");
    EXPECT_EQ(readTestText(folder + "/show.err"), "");
    // Saved one setting a line. 640 x 360 is no display mode, so the dialog chose a listed one.
    int width = 0, height = 0;
    std::string saved = readTestText(folder + "/default.cfg");
    ASSERT_EQ(sscanf(saved.c_str(), "width %d height %d", &width, &height), 2) << saved;
    EXPECT_GT(width, 0);
    EXPECT_GT(height, 0);
    EXPECT_EQ(saved, "width " + std::to_string(width) + "\nheight " + std::to_string(height) +
                         "\nflags 0\nsamples 0\nvsync 0\n");
}

TEST_F(ShowRun, EscapeInTheDialogEndsWithoutAShowOrSettings)
{
    std::string folder = prepareFolder("nah", shortSong(), true);
    pid_t pid = startShow(folder);
    if (!answerDialog(pid, "Escape")) return;
    EXPECT_EQ(waitForExit(pid, WINDOW_WAIT_SECONDS), 0);
    EXPECT_EQ(readTestText(folder + "/default.cfg"), CONFIG);
    EXPECT_EQ(readTestText(folder + "/show.err"), "");
}

TEST_F(ShowRun, MissingArchiveIsReportedWithExitCode1)
{
    std::string folder = prepareFolder("noarchive", shortSong(), false);
    pid_t pid = startShow(folder);
    if (!answerDialog(pid, "Return")) return;
    std::string box = waitForNamedWindow(pid, "^Error in file ");
    EXPECT_FALSE(box.empty()) << "no error box";
    if (!box.empty()) pressKey(box, "Return");
    EXPECT_EQ(waitForExit(pid, WINDOW_WAIT_SECONDS), 1);
    EXPECT_NE(readTestText(folder + "/show.err").find("Failed to open data file data.hlv for reading."), std::string::npos)
        << readTestText(folder + "/show.err");
}

// Mesa hides an extension from the program (anisotropic filtering: one Mesa still runs without):
// its question comes up; OK goes on into the show, Cancel ends the program with code 1.
static pid_t startShowWithoutAnisotropy(const std::string& folder)
{
    setenv("MESA_EXTENSION_OVERRIDE", "-GL_EXT_texture_filter_anisotropic", 1);
    pid_t pid = startShow(folder);
    unsetenv("MESA_EXTENSION_OVERRIDE");
    return pid;
}

static const char* const ANISOTROPY_QUESTION = "^Extension GLEW_EXT_texture_filter_anisotropic not supported!$";

TEST_F(ShowRun, MissingExtensionIsAskedAboutOkGoesOnCancelEnds)
{
    std::string cancelled = prepareFolder("extension-cancel", shortSong(), true);
    pid_t pid = startShowWithoutAnisotropy(cancelled);
    if (!answerDialog(pid, "Return")) return;
    std::string question = waitForNamedWindow(pid, ANISOTROPY_QUESTION);
    EXPECT_FALSE(question.empty()) << "no question about the missing extension";
    if (!question.empty()) pressKey(question, "Escape");
    EXPECT_EQ(waitForExit(pid, WINDOW_WAIT_SECONDS), 1) << readTestText(cancelled + "/show.err");
    std::string err = readTestText(cancelled + "/show.err");
    // The box goes to standard error too: one question, for that extension alone.
    size_t first = err.find("not supported!");
    EXPECT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find("not supported!", first + 1), std::string::npos) << err;

    std::string accepted = prepareFolder("extension-ok", longSong(), true);
    pid = startShowWithoutAnisotropy(accepted);
    if (!answerDialog(pid, "Return")) return;
    question = waitForNamedWindow(pid, ANISOTROPY_QUESTION);
    EXPECT_FALSE(question.empty()) << "no question about the missing extension";
    if (!question.empty()) pressKey(question, "Return");
    std::string window = waitForShowWindow(pid);
    EXPECT_FALSE(window.empty()) << "OK did not go on into the show";
    if (!window.empty()) pressKey(window, "Escape");
    EXPECT_EQ(waitForExit(pid, ESCAPE_WAIT_SECONDS), 0) << readTestText(accepted + "/show.err");
}

TEST_F(ShowRun, EscapeInTheShowEndsItAtOnce)
{
    std::string folder = prepareFolder("escape", longSong(), true);
    pid_t pid = startShow(folder);
    if (!answerDialog(pid, "Return")) return;
    std::string window = expectShowWindow(pid);
    if (window.empty()) return;
    pressKey(window, "Escape");
    EXPECT_EQ(waitForExit(pid, ESCAPE_WAIT_SECONDS), 0) << readTestText(folder + "/show.err");
    EXPECT_EQ(readTestText(folder + "/show.err"), "");
}

// >> the command line
// The window's size as the X server has it, "WxH".
static std::string windowSize(const std::string& window)
{
    std::string out = capture("timeout 5 xdotool getwindowgeometry " + window + " 2>/dev/null");
    size_t at = out.find("Geometry: ");
    return at == std::string::npos ? out : out.substr(at + 10, out.find('\n', at) - at - 10);
}

TEST_F(ShowRun, BadCommandLineEndsWithCode2BeforeAnyWindow)
{
    std::string folder = prepareFolder("options", shortSong(), true);
    // A run that opened the dialog would wait there past the deadline and end as -1.
    const struct {
        std::vector<std::string> args;
        int code;
        const char* errorStart;
    } cases[] = {
        {{"--help"}, 0, ""},
        {{"--size", "0x0"}, 2, "halvoren: --size '0x0' "},
        {{"--windowed", "--size", "99999x5"}, 2, "halvoren: --size '99999x5' "},
        {{"--samples", "3"}, 2, "halvoren: --samples '3' "},
        {{"--bogus"}, 2, "halvoren: unknown option '--bogus'"},
        {{"--dev", "--start", "-1"}, 2, "halvoren: --start '-1' "},
        // Xvfb offers no 1234 x 567 mode, so the dialog would quietly pick another size.
        {{"--size", "1234x567"}, 2, "halvoren: --size 1234x567 is not in the settings dialog's list"},
    };
    for (const auto& c : cases) {
        pid_t pid = startShow(folder, c.args);
        EXPECT_EQ(waitForExit(pid, WINDOW_WAIT_SECONDS), c.code) << c.args[0];
        std::string err = readTestText(folder + "/show.err");
        EXPECT_EQ(err.rfind(c.errorStart, 0), 0u) << err;
        if (c.code == 0) {
            EXPECT_EQ(readTestText(folder + "/show.out").rfind("Usage: halvoren [options]\n", 0), 0u);
        }
    }
    EXPECT_EQ(readTestText(folder + "/default.cfg"), CONFIG);
}

// The file asks for full screen with anti-aliasing; the command line's window, size and loose
// files are what plays, and the file is left as it was.
TEST_F(ShowRun, NoDialogPlaysAtOnceWithTheOverridesAndLeavesTheFile)
{
    static const char* FULLSCREEN_CONFIG = "width 640 height 360 flags -2147483648 samples 4 vsync 1";
    std::string folder = prepareFolder("no-dialog", longSong(), false);
    writeTestFile(folder + "/default.cfg", std::string(FULLSCREEN_CONFIG));
    pid_t pid = startShow(folder, {"--no-dialog", "--windowed", "--size", "400x300", "--samples", "0", "--vsync",
                                   "off", "--data", "root"});
    std::string window = expectShowWindow(pid);
    if (window.empty()) return;
    EXPECT_EQ(windowSize(window), "400x300");
    pressKey(window, "Escape");
    EXPECT_EQ(waitForExit(pid, ESCAPE_WAIT_SECONDS), 0) << readTestText(folder + "/show.err");
    EXPECT_EQ(readTestText(folder + "/show.err"), "");
    EXPECT_EQ(readTestText(folder + "/default.cfg"), FULLSCREEN_CONFIG);
}

// Creator mode: --start past the end of the song is refused once the song is loaded; inside it,
// the transport keys, the panel and F5 run without a fault, and Escape still ends the show.
TEST_F(ShowRun, DevModeStartsWhereAskedAndTakesItsKeys)
{
    std::string folder = prepareFolder("dev", longSong(), false);
    pid_t pid = startShow(folder, {"--no-dialog", "--windowed", "--size", "400x300", "--data", "root", "--start", "9999"});
    EXPECT_EQ(waitForExit(pid, WINDOW_WAIT_SECONDS), 2);
    EXPECT_NE(readTestText(folder + "/show.err").find("halvoren: --start 9999 is past the end of the song"),
              std::string::npos) << readTestText(folder + "/show.err");

    pid = startShow(folder, {"--dev", "--no-dialog", "--windowed", "--size", "400x300", "--data", "root", "--start", "2"});
    std::string window = expectShowWindow(pid);
    if (window.empty()) return;
    for (const char* key : {"space", "period", "Next", "shift+Prior", "l", "space", "l", "BackSpace", "Home", "F1", "F5"})
        pressKey(window, key);
    EXPECT_TRUE(running(pid));
    pressKey(window, "Escape");
    EXPECT_EQ(waitForExit(pid, ESCAPE_WAIT_SECONDS), 0) << readTestText(folder + "/show.err");
    EXPECT_NE(readTestText(folder + "/show.err").find("halvoren: reload (F5): "), std::string::npos)
        << readTestText(folder + "/show.err");
}

// The desktop's size is a listed mode (under Xvfb the only one): the dialog takes it and the show
// opens at it, while "&Runit" saves the file's size, not the command line's.
TEST_F(ShowRun, SizeGivenWithTheDialogIsPreselectedButNotSaved)
{
    std::string desktop = capture("timeout 5 xdotool getdisplaygeometry 2>/dev/null");
    size_t space = desktop.find(' ');
    ASSERT_NE(space, std::string::npos) << desktop;
    std::string size = desktop.substr(0, space) + "x" + std::to_string(atoi(desktop.c_str() + space));
    std::string folder = prepareFolder("preset", longSong(), true);
    pid_t pid = startShow(folder, {"--size", size});
    if (!answerDialog(pid, "Return")) return;
    std::string window = expectShowWindow(pid);
    if (window.empty()) return;
    EXPECT_EQ(windowSize(window), size);
    pressKey(window, "Escape");
    EXPECT_EQ(waitForExit(pid, ESCAPE_WAIT_SECONDS), 0) << readTestText(folder + "/show.err");
    EXPECT_EQ(readTestText(folder + "/default.cfg"), "width 640\nheight 360\nflags 0\nsamples 0\nvsync 0\n");
}

// SDL is shut down by an exit hook, so an error report that ends the process still gives the
// desktop its display mode back. Under Xvfb there is no mode to restore: a debugger watches for
// SDL_Quit instead and shows that it runs on the way out of the error report.
TEST_F(ShowRun, ErrorExitStillShutsSdlDown)
{
    if (capture("command -v gdb").empty()) SKIP_UNLESS_REQUIRED("gdb missing");
    std::string folder = prepareFolder("shutdown", shortSong(), false);
    writeTestFile(folder + "/watch.gdb", std::string("set breakpoint pending on\n"
                                                     "set startup-with-shell off\n"
                                                     "break SDL_Quit\n"
                                                     "commands\n"
                                                     "  bt 8\n"
                                                     "  continue\n"
                                                     "end\n"
                                                     "run\n"));
    pid_t debugger = startShow(folder, {}, "watch.gdb");
    pid_t show = waitForChildOf(debugger);
    ASSERT_GT(show, 0) << "the debugger did not start the show";
    if (answerDialog(show, "Return")) {
        std::string box = waitForNamedWindow(show, "^Error in file ");
        EXPECT_FALSE(box.empty()) << "no error box";
        if (!box.empty()) pressKey(box, "Return");
    }
    EXPECT_EQ(waitForExit(debugger, SHOW_WAIT_SECONDS), 0);
    std::string log = readTestText(folder + "/show.out");
    EXPECT_NE(log.find("exited with code 01"), std::string::npos) << log;
    size_t quit = log.find("in SDL_Quit");
    ASSERT_NE(quit, std::string::npos) << log;
    EXPECT_NE(log.find("reportFatal", quit), std::string::npos) << log;
}

// >> a viewer's machine
// "default.cfg" is a folder here, which not even root can write as a file; the driver under Xvfb
// offers no 16-sample window. The show opens with fewer samples and plays all the same.
TEST_F(ShowRun, UnsavedSettingsAndTooManySamplesStillPlay)
{
    std::string folder = prepareFolder("read-only", longSong(), true);
    unlink((folder + "/default.cfg").c_str());
    mkdir((folder + "/default.cfg").c_str(), 0755);
    pid_t pid = startShow(folder, {"--windowed", "--samples", "16"});
    if (!answerDialog(pid, "Return")) return;
    std::string window = expectShowWindow(pid);
    if (window.empty()) return;
    pressKey(window, "Escape");
    EXPECT_EQ(waitForExit(pid, ESCAPE_WAIT_SECONDS), 0) << readTestText(folder + "/show.err");
    std::string err = readTestText(folder + "/show.err");
    EXPECT_NE(err.find("halvoren: the settings were not saved: cannot write \"default.cfg\""), std::string::npos) << err;
    EXPECT_NE(err.find("halvoren: no window with 16 anti-aliasing samples"), std::string::npos) << err;
}

// A box leaves full screen so it can be seen; once the viewer answers OK, the show goes back to
// full screen and hides the cursor. Under Xvfb (no window manager, one display mode) a full-screen
// window looks like any other from outside: a debugger records the program's own calls instead.
TEST_F(ShowRun, FullScreenComesBackAfterAnAnsweredQuestion)
{
    if (capture("command -v gdb").empty()) SKIP_UNLESS_REQUIRED("gdb missing");
    std::string folder = prepareFolder("fullscreen-question", longSong(), true);
    writeTestFile(folder + "/watch.gdb", std::string("set breakpoint pending on\n"
                                                     "set startup-with-shell off\n"
                                                     "break SDL_WM_ToggleFullScreen\n"
                                                     "commands\n"
                                                     "  echo TOGGLE\\n\n"
                                                     "  continue\n"
                                                     "end\n"
                                                     "break SDL_ShowCursor\n"
                                                     "commands\n"
                                                     "  printf \"CURSOR %d\\n\", (int)$rdi\n"
                                                     "  continue\n"
                                                     "end\n"
                                                     "run\n"));
    setenv("MESA_EXTENSION_OVERRIDE", "-GL_EXT_texture_filter_anisotropic", 1);
    pid_t debugger = startShow(folder, {"--no-dialog", "--fullscreen", "--size", "640x360"}, "watch.gdb");
    unsetenv("MESA_EXTENSION_OVERRIDE");
    pid_t show = waitForChildOf(debugger);
    ASSERT_GT(show, 0) << "the debugger did not start the show";
    std::string question = waitForNamedWindow(show, ANISOTROPY_QUESTION);
    EXPECT_FALSE(question.empty()) << "no question about the missing extension";
    if (!question.empty()) pressKey(question, "Return");
    std::string window = waitForShowWindow(show);
    EXPECT_FALSE(window.empty()) << "OK did not go on into the show";
    // The cursor is hidden once the show is full screen again, before its first frame.
    auto start = std::chrono::steady_clock::now();
    while (readTestText(folder + "/show.out").find("CURSOR 0") == std::string::npos &&
           secondsSince(start) < SHOW_WAIT_SECONDS && running(show))
        nap();
    if (!window.empty()) pressKey(window, "Escape");
    EXPECT_EQ(waitForExit(debugger, SHOW_WAIT_SECONDS), 0);
    std::string log = readTestText(folder + "/show.out");
    // Out of full screen for the box, then back: two toggles, then the cursor hidden.
    size_t first = log.find("TOGGLE"), second = log.find("TOGGLE", first + 1);
    ASSERT_NE(second, std::string::npos) << log;
    EXPECT_NE(log.find("CURSOR 1", first), std::string::npos) << log;
    EXPECT_NE(log.find("CURSOR 0", second), std::string::npos) << log;
    EXPECT_NE(log.find("exited normally"), std::string::npos) << log;
}
