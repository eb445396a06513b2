// tolvexctl: a command-line host of the communications control.
//
//   tolvexctl props                     type information, one property a line
//   tolvexctl enums | events            enumerations and events
//   tolvexctl [OPTIONS] get NAME        value of a property
//   tolvexctl [OPTIONS] put NAME VALUE  write, then print the value read back
//   tolvexctl [OPTIONS] save FILE       save the instance's property bag
//   tolvexctl [OPTIONS] load FILE       load a bag and print the saved values
//   tolvexctl about                     show the About box
//   tolvexctl [--bag FILE] [--set NAME=VALUE] pages [--save FILE] [--ok] [--screenshot DIR]
//       the property sheet on a design-mode instance; with --save the
//       instance's bag is written when the sheet is closed with OK; --ok
//       presses OK at once (a refusal is printed, exit status 1);
//       --screenshot writes a picture of every page into DIR and closes
////   tolvexctl register | unregister     (un)register the library found
//   tolvexctl which                     the library that would be loaded
//
//
// Port commands (the port is opened with the values given, the device the
// port number maps to is shown on standard error):
//   tolvexctl --port N [--settings S] [--count K] lines
//       prints every line LineInput returns on a receive event (RThreshold 1,
//       InTimeout 2000 unless --set says otherwise) until interrupted or K lines
//   tolvexctl --port N [--settings S] send TEXT
//       queues TEXT through OutputB, converted to CP932, with \r, \n, \t,
//       \\ and \xHH escapes (\xHH is that byte as it is), and waits until
//       it has left; a refusal (1010: more than OutBufferSize) is an error
//   tolvexctl --port N [--settings S] [--count K] events
//       prints every OnComm code with a timestamp; received data is read and
//       its length shown
//   tolvexctl term --emulation {tty|ansi|vt52|vt100} --rows R --columns C
//                  [--scroll-rows S] [--backspace 0|1] [--chunk N]
//                  [--fore-color F] [--back-color B]
//       a control in run mode with that terminal; standard input (CP932)
//       goes to Disp in one call, or one call per N bytes; prints the
//       cursor, the history and screen lines, the attributes that differ
//       from ForeColor | BackColor << 4, the bytes sent, one "error,380" per
//       refused call (see TermCommand)
//   tolvexctl --port N [--settings S] terminal [--emulation E]
//       the control's terminal window on the port: keys to the line, the
//       line to the screen (needs a display); a ZModem sender started on
//       the far side is received into the current folder (AutoZModem)
//   tolvexctl --port N [--settings S] [--carrier-abort 0|1] xfer upload --protocol P FILE...
//   tolvexctl --port N [--settings S] [--carrier-abort 0|1] xfer download --protocol P
//             [--dir DIR] [--name NAME] [--resume] [--auto]
//       sends the files (one batch, or one XModem transfer each) or receives
//       into DIR (with --auto, ZModem only: once a sender on the far side
//       has begun, as AutoZModem tells); prints "xfer,STATUS,MESSAGE" for every transfer event; exit
//       status 0 when the transfer ended with XferStatus 0, 1 with -1
//
// OPTIONS: --design (design mode), --bag FILE (load this bag into the fresh
// instance first), --set NAME=VALUE (write a property first; repeatable).
// Errors print "error NUMBER: TEXT" and give exit status 1; usage errors 2.
// Texts print in UTF-8.
//
// Only `about` and `pages` open a window and need a display (`pages` with
// --ok or --screenshot runs offscreen when there is none); every other command runs
// without one (the port commands on a core application).
#include "host/control_host.h"
#include "common/cp932.h"
#include "control/ini_file.h"
#include "control/property_sheet.h"
#include "control/tolvexcomm_ctrl.h"
#include "serial/comm_engine.h"
#include "terminal/control_screen.h"
#include "terminal/render.h"
#include "terminal/terminal.h"

#include <tolvexcomm/component.h>
#include <tolvexcomm/constants.h>
#include <tolvexcomm/dispids.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace tolvex;
using host::ControlInstance;
using host::ControlLibrary;

struct Options {
    bool design = false;
    std::string bag;
    std::vector<std::pair<std::string, std::string>> sets;
    std::vector<std::string> args;  // the command and its arguments
    int port = 0;                   // --port: 0 for none
    std::string settings;           // --settings
    int count = 0;                  // --count: 0 for no limit
    bool carrierAbort = false;      // --carrier-abort 0|1 (xfer)
};

struct Context {
    Options options;
    std::shared_ptr<ControlLibrary> library;
    std::unique_ptr<ControlInstance> instance;
};

const char* TypeName(const com::PropertyInfo& p)
{
    switch (p.type) {
    case com::TypeKind::I2: return "I2";
    case com::TypeKind::I4: return "I4";
    case com::TypeKind::R4: return "R4";
    case com::TypeKind::Bool: return "bool";
    case com::TypeKind::String: return "string";
    case com::TypeKind::Variant: return "variant";
    case com::TypeKind::Bytes: return "bytes";
    case com::TypeKind::Enum: return p.enumType;
    case com::TypeKind::Font: return "font";
    case com::TypeKind::Method: return "method";
    }
    return "?";
}

std::string AccessText(const com::PropertyInfo& p)
{
    using com::GetAccess;
    using com::PutAccess;
    if (p.type == com::TypeKind::Method) return "method";
    const bool r = p.get != GetAccess::None, w = p.put != PutAccess::None;
    std::string text = r && w ? "RW" : r ? "R" : w ? "W" : "-";
    if (p.get == GetAccess::RunOnly && p.put == PutAccess::RunOnly) text += " run";
    else if (p.get == GetAccess::RunOnly && w) text += ", read run";
    else if (p.get == GetAccess::RunOnly) text += " run";
    else if (p.put == PutAccess::RunOnly) text += ", write run";
    else if (p.put == PutAccess::DesignOnly) text += ", write design";
    return text;
}

std::string ValueText(const com::Variant& v)
{
    switch (v.type()) {
    case com::VarType::Empty: return "";
    case com::VarType::Bool: return v.integer() ? "True" : "False";
    case com::VarType::I2:
    case com::VarType::I4: return std::to_string(v.integer());
    case com::VarType::R4: {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v.real()));
        return buf;
    }
    case com::VarType::String: return Cp932ToUtf8(v.text());
    case com::VarType::Bytes: return v.text();
    }
    return "";
}

int PrintError(com::Status status, const std::string& cp932Description)
{
    if (int number = com::ErrorNumber(status))
        std::printf("error %d: %s\n", number, Cp932ToUtf8(cp932Description).c_str());
    else
        std::printf("error 0x%08X: %s\n", status, Cp932ToUtf8(cp932Description).c_str());
    return 1;
}

const com::PropertyInfo* FindByName(const com::TypeLibraryInfo& lib, const std::string& name)
{
    for (const auto& p : lib.properties)
        if (strcasecmp(p.name, name.c_str()) == 0) return &p;
    return nullptr;
}

bool OpenLibrary(Context& ctx)
{
    std::string error;
    ctx.library = ControlLibrary::Open({}, error);
    if (!ctx.library) std::fprintf(stderr, "tolvexctl: control library not found: %s\n", error.c_str());
    return ctx.library != nullptr;
}

// A fresh instance, the bag loaded, the --set values written. Returns the
// exit status on failure.
int MakeInstance(Context& ctx)
{
    if (!OpenLibrary(ctx)) return 1;
    ctx.instance = std::make_unique<ControlInstance>(ctx.library, !ctx.options.design);
    host::PropertyBag bag;
    if (!ctx.options.bag.empty()) {
        std::string error;
        if (!bag.LoadFile(ctx.options.bag, error)) {
            std::fprintf(stderr, "tolvexctl: %s\n", error.c_str());
            return 1;
        }
    }
    com::Status s = ctx.instance->Create(ctx.options.bag.empty() ? nullptr : &bag);
    if (s != com::kOk) return PrintError(s, "the control could not be created");
    for (const auto& [name, value] : ctx.options.sets) {
        const auto* p = FindByName(ctx.instance->control()->TypeInfo(), name);
        if (!p) {
            std::fprintf(stderr, "tolvexctl: no property %s\n", name.c_str());
            return 2;
        }
        auto r = ctx.instance->PutUtf8(p->dispid, value);
        if (!r.ok()) return PrintError(r.status, r.description);
    }
    return 0;
}

int Props(Context& ctx)
{
    if (!OpenLibrary(ctx)) return 1;
    ControlInstance instance(ctx.library);
    if (com::Status s = instance.Create(); s != com::kOk) return PrintError(s, "");
    std::printf("# DISPID\tname\ttype\taccess\tsaved as\tdefault\n");
    for (const auto& p : instance.control()->TypeInfo().properties) {
        std::printf("%d\t%s\t%s\t%s\t%s\t%s\n", p.dispid, p.name, TypeName(p), AccessText(p).c_str(),
                    p.persistedName ? p.persistedName : "-",
                    p.defaultText ? (std::string("\"") + p.defaultText + "\"").c_str() : "-");
    }
    return 0;
}

int Enums(Context& ctx)
{
    if (!OpenLibrary(ctx)) return 1;
    ControlInstance instance(ctx.library);
    if (com::Status s = instance.Create(); s != com::kOk) return PrintError(s, "");
    for (const auto& e : instance.control()->TypeInfo().enums) {
        std::printf("%s%s%s\n", e.publicName ? e.publicName : "", e.publicName && e.typeName ? " / " : "",
                    e.typeName ? e.typeName : "");
        for (const auto& c : e.constants) {
            std::printf("  %d", c.value);
            if (e.publicName) std::printf("\t%s", c.name);
            if (e.typeName) std::printf("\t_%s", c.name);
            std::printf("\n");
        }
    }
    return 0;
}

int Events(Context& ctx)
{
    if (!OpenLibrary(ctx)) return 1;
    ControlInstance instance(ctx.library);
    if (com::Status s = instance.Create(); s != com::kOk) return PrintError(s, "");
    for (const auto& e : instance.control()->TypeInfo().events) {
        std::printf("%d\t%s(", e.dispid, e.name);
        for (std::size_t i = 0; i < e.params.size(); ++i)
            std::printf("%s%s%s", i ? ", " : "", e.params[i].byReference ? "ByRef " : "", e.params[i].name);
        std::printf(")\n");
    }
    return 0;
}

int GetOrPut(Context& ctx, bool put)
{
    if (int rc = MakeInstance(ctx)) return rc;
    const auto* p = FindByName(ctx.instance->control()->TypeInfo(), ctx.options.args[1]);
    if (!p) {
        std::fprintf(stderr, "tolvexctl: no property %s\n", ctx.options.args[1].c_str());
        return 2;
    }
    if (p->type == com::TypeKind::Method) {
        auto r = ctx.instance->Call(p->dispid);
        return r.ok() ? 0 : PrintError(r.status, r.description);
    }
    if (put) {
        auto r = ctx.instance->PutUtf8(p->dispid, ctx.options.args[2]);
        if (!r.ok()) return PrintError(r.status, r.description);
        if (p->get == com::GetAccess::None) return 0;
    }
    auto r = ctx.instance->Get(p->dispid);
    if (!r.ok()) return PrintError(r.status, r.description);
    std::printf("%s\n", ValueText(r.value).c_str());
    return 0;
}

int Save(Context& ctx)
{
    if (int rc = MakeInstance(ctx)) return rc;
    host::PropertyBag bag;
    ctx.instance->Save(bag);
    if (!bag.SaveFile(ctx.options.args[1])) {
        std::fprintf(stderr, "tolvexctl: cannot write %s\n", ctx.options.args[1].c_str());
        return 1;
    }
    return 0;
}

int Load(Context& ctx)
{
    ctx.options.bag = ctx.options.args[1];
    if (int rc = MakeInstance(ctx)) return rc;
    host::PropertyBag bag;
    ctx.instance->Save(bag);
    for (const auto& [name, value] : bag.values()) std::printf("%s=%s\n", name.c_str(), ValueText(value).c_str());
    return 0;
}

// Whether a window can be shown: a display to connect to, or a platform
// named explicitly (QT_QPA_PLATFORM, e.g. offscreen for scripted runs).
bool HaveWindowSystem()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

int About(Context& ctx)
{
    if (!HaveWindowSystem()) {
        std::fprintf(stderr, "tolvexctl: about はウィンドウを開くため画面が必要です（DISPLAY が設定されていません）\n");
        return 1;
    }
    int argc = 1;
    char name[] = "tolvexctl";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    if (int rc = MakeInstance(ctx)) return rc;
    auto r = ctx.instance->Call(com::dispid::kAboutBox);
    ctx.instance.reset();  // its window goes before the application
    return r.ok() ? 0 : PrintError(r.status, r.description);
}

// pages: the property sheet, as a form designer opens it.
int Pages(Context& ctx)
{
    std::string saveFile, screenshotDir;
    bool pressOk = false;
    const auto& args = ctx.options.args;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--ok") {
            pressOk = true;
        } else if ((args[i] == "--save" || args[i] == "--screenshot") && i + 1 < args.size()) {
            (args[i] == "--save" ? saveFile : screenshotDir) = args[i + 1];
            ++i;
        } else {
            std::fprintf(stderr, "usage: tolvexctl [--bag FILE] [--set NAME=VALUE] pages [--save FILE] [--ok] "
                                 "[--screenshot DIR]\n");
            return 2;
        }
    }
    if (!HaveWindowSystem()) {
        if (!pressOk && screenshotDir.empty()) {
            std::fprintf(stderr, "tolvexctl: pages はウィンドウを開くため画面が必要です（DISPLAY が設定されていません）\n");
            return 1;
        }
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    int argc = 1;
    char name[] = "tolvexctl";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    // The instance and its window go before the application.
    struct ReleaseFirst {
        Context& ctx;
        ~ReleaseFirst() { ctx.instance.reset(); }
    } releaseFirst{ctx};
    ctx.options.design = true;
    if (int rc = MakeInstance(ctx)) return rc;
    int status = 0;
    {
        control::PropertySheet sheet(*ctx.instance->control(), profile::ProfilePath());
        if (pressOk || !screenshotDir.empty()) {
            // Scripted: refusals go to standard error instead of a message box.
            sheet.tell() = [&status](const QString& text) {
                std::fprintf(stderr, "tolvexctl: %s\n", text.toUtf8().constData());
                status = 1;
            };
        }
        if (!screenshotDir.empty()) {
            sheet.show();
            QApplication::processEvents();
            const auto files = control::SavePagePictures(sheet, screenshotDir);
            for (const auto& file : files) std::printf("%s\n", file.c_str());
            if (files.size() != static_cast<std::size_t>(sheet.tabs()->count())) return 1;
            if (!pressOk) return 0;
        }
        if (pressOk) {
            QTimer::singleShot(0, &sheet, [&sheet] {
                sheet.accept();
                if (sheet.isVisible()) sheet.reject();  // refused: told already
            });
        }
        if (sheet.exec() != QDialog::Accepted) return status ? status : 1;
    }
    if (!saveFile.empty()) {
        host::PropertyBag bag;
        ctx.instance->Save(bag);
        if (!bag.SaveFile(saveFile)) {
            std::fprintf(stderr, "tolvexctl: cannot write %s\n", saveFile.c_str());
            return 1;
        }
        std::printf("saved %s\n", saveFile.c_str());
    }
    return 0;
}

int Registration(Context& ctx, bool add)
{
    if (!OpenLibrary(ctx)) return 1;
    com::Status s = add ? ctx.library->Register() : ctx.library->Unregister();
    if (s != com::kOk) return PrintError(s, "");
    std::printf("%s %s\n", add ? "registered" : "unregistered", ctx.library->path().c_str());
    return 0;
}

int Which(Context& ctx)
{
    if (!OpenLibrary(ctx)) return 1;
    std::printf("%s\n", ctx.library->path().c_str());
    return 0;
}

// ---------------------------------------------------------------------------
// Port commands

std::atomic<bool> g_interrupted{false};

void OnSignal(int) { g_interrupted = true; }

const char* EventName(int code)
{
    switch (code) {
    case com::TOLVEX_EV_SEND: return "send";
    case com::TOLVEX_EV_RECEIVE: return "receive";
    case com::TOLVEX_EV_CTS: return "cts";
    case com::TOLVEX_EV_DSR: return "dsr";
    case com::TOLVEX_EV_CD: return "cd";
    case com::TOLVEX_EV_RING: return "ring";
    case com::TOLVEX_EV_EOF: return "eof";
    case com::TOLVEX_EV_ZMODEM: return "zmodem";
    case com::TOLVEX_EV_XFER: return "transfer";
    case com::TOLVEX_ER_BREAK: return "break";
    case com::TOLVEX_ER_CTSTO: return "cts-timeout";
    case com::TOLVEX_ER_DSRTO: return "dsr-timeout";
    case com::TOLVEX_ER_FRAME: return "frame";
    case com::TOLVEX_ER_INTO: return "in-timeout";
    case com::TOLVEX_ER_OVERRUN: return "overrun";
    case com::TOLVEX_ER_CDTO: return "cd-timeout";
    case com::TOLVEX_ER_RXOVER: return "rx-over";
    case com::TOLVEX_ER_RXPARITY: return "rx-parity";
    case com::TOLVEX_ER_TXFULL: return "tx-full";
    }
    return "?";
}

bool UserSets(const Context& ctx, const char* name)
{
    for (const auto& [key, value] : ctx.options.sets)
        if (strcasecmp(key.c_str(), name) == 0) return true;
    return false;
}

// Makes the instance and opens the port the options name. Returns the exit
// status on failure.
int OpenPort(Context& ctx, bool lineReading)
{
    if (ctx.options.port <= 0 || ctx.options.port > 32767) {
        std::fprintf(stderr, "tolvexctl: --port needs a number from 1\n");
        return 2;
    }
    if (int rc = MakeInstance(ctx)) return rc;
    ControlInstance& c = *ctx.instance;
    const auto port = static_cast<std::int16_t>(ctx.options.port);
    const std::string device = serial::MapPortToDevice(
        port, [](std::string_view key) { return profile::ReadProfileString("Ports", key); });
    std::fprintf(stderr, "tolvexctl: COM%d is %s\n", ctx.options.port, device.c_str());
    auto put = [&](auto result) {
        if (!result.ok()) throw std::make_pair(result.status, result.description);
    };
    try {
        put(c.PutI2(com::dispid::kCommPort, port));
        if (!ctx.options.settings.empty()) put(c.PutUtf8(com::dispid::kSettings, ctx.options.settings));
        put(c.PutI2(com::dispid::kRThreshold, 1));
        if (lineReading && !UserSets(ctx, "InTimeout")) put(c.PutI4(com::dispid::kInTimeout, 2000));
        put(c.PutBool(com::dispid::kPortOpen, true));
    } catch (const std::pair<com::Status, std::string>& failure) {
        return PrintError(failure.first, failure.second);
    }
    return 0;
}

// Runs the event loop until `done` holds or a signal arrives.
void RunUntil(QCoreApplication& app, const std::function<bool()>& done)
{
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (g_interrupted || done()) app.quit();
    });
    check.start(20);
    if (!g_interrupted && !done()) app.exec();
}

int ClosePort(Context& ctx, int status)
{
    if (ctx.instance) {
        auto r = ctx.instance->PutBool(com::dispid::kPortOpen, false);
        if (!r.ok() && status == 0) status = PrintError(r.status, r.description);
        ctx.instance.reset();
    }
    return status;
}

int Lines(Context& ctx, QCoreApplication& app)
{
    if (int rc = OpenPort(ctx, true)) return ClosePort(ctx, rc);
    ControlInstance& c = *ctx.instance;
    long printed = 0;
    const long limit = ctx.options.count;
    c.onEvent = [&](com::DispId dispid, std::span<com::Variant>) {
        if (dispid != com::eventid::kOnComm) return;
        if (c.GetI2(com::dispid::kCommEvent).value != com::TOLVEX_EV_RECEIVE) return;
        while ((limit == 0 || printed < limit) && c.GetI2(com::dispid::kInBufferCount).value > 0) {
            auto line = c.GetUtf8(com::dispid::kLineInput);
            if (!line.ok()) break;
            std::printf("%s\n", line.value.c_str());
            std::fflush(stdout);
            ++printed;
        }
    };
    RunUntil(app, [&] { return limit > 0 && printed >= limit; });
    c.onEvent = nullptr;
    return ClosePort(ctx, 0);
}

// The bytes `send` puts on the line: the text converted from UTF-8 to
// CP932, with \r, \n, \t and \\ escapes, and \xHH as the byte 0xHH itself
// (so bytes 0x80-0xFF can be sent). Nothing when a character of the text has
// no CP932 form; `bad` then holds the text that could not be converted.
std::optional<std::string> SendBytes(std::string_view arg, std::string& bad)
{
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out, run;
    bool ok = true;
    auto flush = [&] {
        const std::string converted = Utf8ToCp932(run);
        // The conversion puts '?' where a character has no CP932 form.
        if (std::count(converted.begin(), converted.end(), '?') != std::count(run.begin(), run.end(), '?')) {
            ok = false;
            bad = run;
        }
        out += converted;
        run.clear();
    };
    for (std::size_t i = 0; i < arg.size(); ++i) {
        const char c = arg[i];
        const char e = i + 1 < arg.size() ? arg[i + 1] : '\0';
        if (c != '\\' || e == '\0') {
            run += c;
        } else if (e == 'x' && i + 3 < arg.size() && hex(arg[i + 2]) >= 0 && hex(arg[i + 3]) >= 0) {
            flush();
            out += static_cast<char>(hex(arg[i + 2]) * 16 + hex(arg[i + 3]));
            i += 3;
        } else if (e == '\\' || e == 'r' || e == 'n' || e == 't') {
            run += e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : '\\';
            ++i;
        } else {
            run += c;  // not an escape: kept as written
        }
    }
    flush();
    if (!ok) return std::nullopt;
    return out;
}

int Send(Context& ctx, QCoreApplication& app)
{
    std::string bad;
    const std::optional<std::string> bytes = SendBytes(ctx.options.args[1], bad);
    if (!bytes) {
        std::fprintf(stderr, "tolvexctl: 「%s」には CP932 で表せない文字があります\n", bad.c_str());
        return 1;
    }
    if (int rc = OpenPort(ctx, false)) return ClosePort(ctx, rc);
    ControlInstance& c = *ctx.instance;
    // A refused write is no error to the caller of OutputB: the control
    // drops the bytes and raises OnComm with 1010 while the write runs.
    bool refused = false;
    c.onEvent = [&](com::DispId dispid, std::span<com::Variant>) {
        if (dispid == com::eventid::kOnComm && c.GetI2(com::dispid::kCommEvent).value == com::TOLVEX_ER_TXFULL)
            refused = true;
    };
    auto r = c.Put(com::dispid::kOutputB, com::Variant::Bytes(*bytes));
    c.onEvent = nullptr;
    if (!r.ok()) return ClosePort(ctx, PrintError(r.status, r.description));
    if (refused) {
        std::printf("error 1010: 送信バッファに入りきらないため送信しませんでした（%zu バイト、OutBufferSize %d）\n",
                    bytes->size(), c.GetI2(com::dispid::kOutBufferSize).value);
        return ClosePort(ctx, 1);
    }
    // Wait (at most a minute) until the bytes have left the transmit buffers.
    QElapsedTimer waited;
    waited.start();
    RunUntil(app, [&] { return c.GetI2(com::dispid::kOutBufferCount).value == 0 || waited.elapsed() > 60000; });
    if (const int left = c.GetI2(com::dispid::kOutBufferCount).value; left > 0) {
        std::printf("error: %d バイトが 1 分以内に送信されませんでした\n", left);
        return ClosePort(ctx, 1);
    }
    // Closing discards what the far side has not taken yet; on a
    // pseudo-terminal that is whatever the other end has not read, so give
    // it a moment.
    QElapsedTimer linger;
    linger.start();
    RunUntil(app, [&] { return linger.elapsed() >= 200; });
    std::fprintf(stderr, "tolvexctl: %zu bytes sent\n", bytes->size());
    return ClosePort(ctx, 0);
}

int PortEvents(Context& ctx, QCoreApplication& app)
{
    if (int rc = OpenPort(ctx, false)) return ClosePort(ctx, rc);
    ControlInstance& c = *ctx.instance;
    long printed = 0;
    const long limit = ctx.options.count;
    c.onEvent = [&](com::DispId dispid, std::span<com::Variant>) {
        if (dispid != com::eventid::kOnComm || (limit > 0 && printed >= limit)) return;
        const int code = c.GetI2(com::dispid::kCommEvent).value;
        const std::string when =
            QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toStdString();
        std::string extra;
        if (code == 2) {
            auto data = c.Get(com::dispid::kInputB);
            if (data.ok()) extra = " (" + std::to_string(data.value.text().size()) + " bytes)";
        }
        std::printf("%s %d %s%s\n", when.c_str(), code, EventName(code), extra.c_str());
        std::fflush(stdout);
        ++printed;
    };
    RunUntil(app, [&] { return limit > 0 && printed >= limit; });
    c.onEvent = nullptr;
    return ClosePort(ctx, 0);
}

// File transfers: `xfer upload --protocol P FILE...` and
// `xfer download --protocol P [--dir DIR] [--name NAME] [--resume]`. Every
// transfer event prints "xfer,STATUS,MESSAGE"; the exit status follows the
// last one (0: 0, -1: 1).
int Usage();

int Xfer(Context& ctx, QCoreApplication& app)
{
    const std::vector<std::string>& a = ctx.options.args;
    if (a.size() < 2 || (a[1] != "upload" && a[1] != "download")) return Usage();
    const bool upload = a[1] == "upload";
    int protocol = -1;
    std::string dir, name;
    bool resume = false;
    bool autoStart = false;
    std::vector<std::string> files;
    for (std::size_t i = 2; i < a.size(); ++i) {
        if (a[i] == "--protocol" && i + 1 < a.size()) {
            char* end = nullptr;
            const long p = std::strtol(a[++i].c_str(), &end, 10);
            if (!end || *end != '\0' || p < 0 || p > 8) return Usage();
            protocol = static_cast<int>(p);
        } else if (!upload && a[i] == "--dir" && i + 1 < a.size()) {
            dir = a[++i];
        } else if (!upload && a[i] == "--name" && i + 1 < a.size()) {
            name = a[++i];
        } else if (!upload && a[i] == "--resume") {
            resume = true;
        } else if (!upload && a[i] == "--auto") {
            autoStart = true;
        } else if (upload && (a[i].empty() || a[i][0] != '-' || a[i] == "-")) {
            files.push_back(a[i]);
        } else {
            return Usage();
        }
    }
    if (protocol < 0 || (upload && files.empty()) || (autoStart && protocol != com::TOLVEX_ZMODEM)) return Usage();
    // Received files go into the current folder.
    if (!dir.empty() && ::chdir(dir.c_str()) != 0) {
        std::fprintf(stderr, "tolvexctl: cannot use folder %s: %s\n", dir.c_str(), std::strerror(errno));
        return 2;
    }
    // ZModem streams: the largest buffers keep the line busy (2 KiB each
    // would let the worker wait for room every few subpackets); --set wins.
    if (protocol == com::TOLVEX_ZMODEM)
        for (const char* buffer : {"InBufferSize", "OutBufferSize"})
            if (!UserSets(ctx, buffer)) ctx.options.sets.emplace_back(buffer, "32767");
    if (OpenPort(ctx, false)) return ClosePort(ctx, 2);
    ControlInstance& c = *ctx.instance;
    bool ended = false;
    int last = -1;
    bool started = !autoStart;
    c.onEvent = [&](com::DispId dispid, std::span<com::Variant>) {
        if (dispid != com::eventid::kOnComm) return;
        const int code = c.GetI2(com::dispid::kCommEvent).value;
        // --auto: received data only passes the ZModem start detector until
        // a sender begins; then the download answers it.
        if (code == com::TOLVEX_EV_RECEIVE && !started) {
            c.Get(com::dispid::kInputB);
            return;
        }
        if (code == com::TOLVEX_EV_ZMODEM && !started) {
            started = true;
            if (auto r = c.PutUtf8(com::dispid::kDownload, name); !r.ok()) {
                PrintError(r.status, r.description);
                ended = true;
            }
            return;
        }
        if (code != com::TOLVEX_EV_XFER) return;
        const int status = c.GetI2(com::dispid::kXferStatus).value;
        const std::string message = c.GetUtf8(com::dispid::kXferMessage).value;
        std::printf("xfer,%d,%s\n", status, message.c_str());
        std::fflush(stdout);
        if (status == com::TOLVEX_XFER_FILE_READY && resume)
            c.PutI2(com::dispid::kXferStatus, com::TOLVEX_XFER_RESUME);
        // The worker's last event: the transfer has ended.
        if (status == com::TOLVEX_XFER_TERM_OK || status == com::TOLVEX_XFER_TERM_ERROR) {
            ended = true;
            last = status;
        }
    };
    auto fail = [&](const auto& r) {
        c.onEvent = nullptr;
        return ClosePort(ctx, PrintError(r.status, r.description));
    };
    for (auto r : {c.PutI2(com::dispid::kXferProtocol, static_cast<std::int16_t>(protocol)),
                   c.PutI2(com::dispid::kXferStatusDialog, 0),
                   c.PutBool(com::dispid::kXferCarrierAbort, ctx.options.carrierAbort)})
        if (!r.ok()) return fail(r);
    if (upload) {
        for (const std::string& f : files)
            if (auto r = c.PutUtf8(com::dispid::kUpload, f); !r.ok()) {
                if (&f == &files.front()) return fail(r);
                PrintError(r.status, r.description);  // the batch goes on without it
            }
    } else if (autoStart) {
        for (auto r : {c.PutBool(com::dispid::kAutoZModem, true), c.PutI2(com::dispid::kRThreshold, 1)})
            if (!r.ok()) return fail(r);
    } else if (auto r = c.PutUtf8(com::dispid::kDownload, name); !r.ok()) {
        return fail(r);
    }
    RunUntil(app, [&] { return ended; });
    if (!ended && started) {  // interrupted: abort, and let the far side hear it
        g_interrupted = false;
        c.PutI2(com::dispid::kXferStatus, com::TOLVEX_XFER_ABORT);
        RunUntil(app, [&] { return ended; });
    }
    c.onEvent = nullptr;
    return ClosePort(ctx, ended && last == com::TOLVEX_XFER_TERM_OK ? 0 : 1);
}

int PortCommand(Context& ctx, int (*run)(Context&, QCoreApplication&))
{
    int argc = 1;
    char name[] = "tolvexctl";
    char* argv[] = {name, nullptr};
    // No window: a core application, so that no display is needed.
    QCoreApplication app(argc, argv);
    const int status = run(ctx, app);
    ctx.instance.reset();  // its window and port go before the application
    return status;
}

// ---------------------------------------------------------------------------
// term: the terminal core on standard input, without a display

// The value after `name` among a command's arguments.
struct CommandOptions {
    std::vector<std::pair<std::string, std::string>> values;
    bool ok = true;

    CommandOptions(const std::vector<std::string>& args, const std::vector<std::string>& known)
    {
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (std::find(known.begin(), known.end(), args[i]) == known.end() || i + 1 >= args.size()) {
                ok = false;
                return;
            }
            values.emplace_back(args[i], args[i + 1]);
            ++i;
        }
    }
    const std::string* Find(const std::string& name) const
    {
        for (const auto& [k, v] : values)
            if (k == name) return &v;
        return nullptr;
    }
    // A whole number from `low` to `high`; `fallback` when not given.
    std::optional<long> Number(const std::string& name, long low, long high, std::optional<long> fallback) const
    {
        const std::string* v = Find(name);
        if (!v) return fallback;
        char* end = nullptr;
        const long n = std::strtol(v->c_str(), &end, 10);
        if (v->empty() || !end || *end != '\0' || n < low || n > high) return std::nullopt;
        return n;
    }
};

std::optional<std::int16_t> EmulationNumber(const std::string& name)
{
    static const char* const kNames[] = {"tty", "ansi", "vt52", "vt100"};
    for (int i = 0; i < 4; ++i)
        if (strcasecmp(name.c_str(), kNames[i]) == 0) return static_cast<std::int16_t>(i + 1);
    return std::nullopt;
}

// The values the term command loads the control with.
class TermBag final : public com::IPropertyBag {
public:
    std::vector<std::pair<std::string, com::Variant>> values;
    bool Read(std::string_view name, com::Variant& value) const override
    {
        for (const auto& [k, v] : values)
            if (k == name) {
                value = v;
                return true;
            }
        return false;
    }
    void Write(std::string_view, const com::Variant&) override {}
};

class RunModeSite final : public com::IControlSite {
public:
    bool UserMode() const override { return true; }
};

std::string HexBytes(std::string_view bytes)
{
    std::string out;
    char hex[4];
    for (unsigned char b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        if (!out.empty()) out += ' ';
        out += hex;
    }
    return out;
}

// Output, LF line ends, in this order:
//   cursor,ROW,COL           CursorRow, CursorColumn
//   hist,I,TEXT              history lines 1..S, oldest first (S > 0)
//   row,I,TEXT               screen lines 1..R
//   attr,I,HH HH ...         screen lines with a cell whose attribute is not
//                            ForeColor | BackColor << 4: first to last such cell
//   sent,HH HH ...           every byte sent through Output (none: omitted)
//   error,380                once per Disp call that raised 380
// TEXT is the line in UTF-8 without trailing spaces; a line-drawing cell is
// its glyph, a control byte shown as a character is that byte.
int TermCommand(Context& ctx)
{
    const CommandOptions o(ctx.options.args, {"--emulation", "--rows", "--columns", "--scroll-rows", "--backspace",
                                              "--chunk", "--fore-color", "--back-color"});
    const std::string* emulationName = o.Find("--emulation");
    const auto emulation = emulationName ? EmulationNumber(*emulationName) : std::nullopt;
    const auto rows = o.Number("--rows", 1, 32767, std::nullopt);
    const auto columns = o.Number("--columns", 1, 32767, std::nullopt);
    const auto scrollRows = o.Number("--scroll-rows", 0, 32767, 0);
    const auto backspace = o.Number("--backspace", 0, 1, 0);
    const auto chunk = o.Number("--chunk", 1, 2147483647L, 0);
    const auto fore = o.Number("--fore-color", 0, 15, 0);
    const auto back = o.Number("--back-color", 0, 15, 15);
    if (!o.ok || !emulation || !rows || !columns || !scrollRows || !backspace || !chunk || !fore || !back) {
        std::fprintf(stderr,
                     "usage: tolvexctl term --emulation {tty|ansi|vt52|vt100} --rows R --columns C [--scroll-rows S] "
                     "[--backspace 0|1] [--chunk N] [--fore-color F] [--back-color B]\n");
        return 2;
    }

    std::string input;
    {
        char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) input.append(buffer, n);
    }

    // What the terminal sends goes to the line as if the port were open.
    std::string sent;
    control::ControlParts parts;
    parts.makeTerminal = terminal::ScreenFactory([&sent](std::string_view bytes) { sent += bytes; });
    parts.profile = std::filesystem::path("/nonexistent/tolvexcomm.ini");  // the built-in defaults
    auto* control = new control::CTolvexcommCtrl(std::move(parts));
    RunModeSite site;
    control->SetSite(&site);
    TermBag bag;
    auto i2 = [](long v) { return com::Variant::I2(static_cast<std::int16_t>(v)); };
    bag.values = {{"Rows", i2(*rows)},           {"Columns", i2(*columns)},    {"ScrollRows", i2(*scrollRows)},
                  {"Backspace", i2(*backspace)}, {"ForeColor", i2(*fore)},     {"BackColor", i2(*back)},
                  {"Echo", com::Variant::Bool(false)}, {"AnswerBack", com::Variant::String("")},
                  {"Emulation", i2(*emulation)}};
    int status = 0;
    if (control->Load(bag) != com::kOk || !control->Terminal().Core()) {
        std::fprintf(stderr, "tolvexctl: the terminal could not be created\n");
        status = 1;
    }
    int refused = 0;
    if (status == 0) {
        const std::size_t step = *chunk > 0 ? static_cast<std::size_t>(*chunk) : std::max<std::size_t>(input.size(), 1);
        std::size_t at = 0;
        do {
            const com::Variant piece = com::Variant::String(input.substr(at, step));
            auto r = control->Invoke(com::dispid::kDisp, com::InvokeKind::Put, std::span<const com::Variant>(&piece, 1));
            if (r.status == com::ErrorStatus(380)) ++refused;
            else if (r.status != com::kOk) status = PrintError(r.status, r.description);
            at += step;
        } while (at < input.size() && status == 0);
    }
    if (status == 0) {
        const terminal::Terminal& t = *control->Terminal().Core();
        const terminal::Screen& screen = t.View();
        std::string out;
        auto line = [&](const char* kind, int index, int row) {
            out += kind;
            out += ',' + std::to_string(index) + ',';
            out += terminal::LineUtf8(screen.LineBytes(row), screen.LineAttributes(row));
            out += '\n';
        };
        out += "cursor," + std::to_string(t.CursorRow()) + "," + std::to_string(t.CursorColumn()) + "\n";
        for (int h = 0; h < t.ScrollRows(); ++h) line("hist", h + 1, h - t.ScrollRows());
        for (int r = 0; r < t.Rows(); ++r) line("row", r + 1, r);
        const auto plain = static_cast<std::uint16_t>((*fore) | (*back) << 4);
        for (int r = 0; r < t.Rows(); ++r) {
            const std::uint16_t* a = screen.LineAttributes(r);
            int first = -1, last = -1;
            for (int col = 0; col < t.Columns(); ++col)
                if ((a[col] & terminal::kColourBits) != plain) {
                    if (first < 0) first = col;
                    last = col;
                }
            if (first < 0) continue;
            std::string cells;
            for (int col = first; col <= last; ++col) cells += static_cast<char>(a[col] & terminal::kColourBits);
            out += "attr," + std::to_string(r + 1) + "," + HexBytes(cells) + "\n";
        }
        if (!sent.empty()) out += "sent," + HexBytes(sent) + "\n";
        for (int i = 0; i < refused; ++i) out += "error,380\n";
        std::fwrite(out.data(), 1, out.size(), stdout);
    }
    control->SetSite(nullptr);
    control->Release();
    return status;
}

// ---------------------------------------------------------------------------
// terminal: the control's terminal window on a port

// A small terminal program: the port's data on the screen (AutoProcess
// BOTH), typed keys to the line. --snapshot FILE saves the window as an
// image after --quit-after MS and ends (for documentation and checks).
int TerminalWindow(Context& ctx)
{
    const CommandOptions o(ctx.options.args, {"--emulation", "--rows", "--columns", "--scroll-rows", "--font-size",
                                              "--snapshot", "--quit-after"});
    const std::string* emulationName = o.Find("--emulation");
    const auto emulation = emulationName ? EmulationNumber(*emulationName) : std::optional<std::int16_t>(4);
    const auto rows = o.Number("--rows", 1, 200, 25);
    const auto columns = o.Number("--columns", 1, 400, 80);
    const auto scrollRows = o.Number("--scroll-rows", 0, 10000, 500);
    const auto fontSize = o.Number("--font-size", 4, 72, 11);
    const auto quitAfter = o.Number("--quit-after", 1, 86400000L, 0);
    const std::string* snapshot = o.Find("--snapshot");
    if (!o.ok || !emulation || !rows || !columns || !scrollRows || !fontSize || !quitAfter) {
        std::fprintf(stderr, "usage: tolvexctl --port N [--settings S] terminal [--emulation {tty|ansi|vt52|vt100}] "
                             "[--rows R] [--columns C] [--scroll-rows S] [--font-size P] [--snapshot FILE --quit-after MS]\n");
        return 2;
    }
    if (!HaveWindowSystem()) {
        std::fprintf(stderr, "tolvexctl: terminal needs a display\n");
        return 1;
    }
    int argc = 1;
    char name[] = "tolvexctl";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QWidget window;
    // The instance and its window go before the window and the application.
    struct ReleaseFirst {
        Context& ctx;
        ~ReleaseFirst() { ctx.instance.reset(); }
    } releaseFirst{ctx};
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    if (!OpenLibrary(ctx)) return 1;
    ctx.instance = std::make_unique<ControlInstance>(ctx.library, true);
    ctx.instance->SetParentWindow(&window);
    if (com::Status s = ctx.instance->Create(); s != com::kOk) return PrintError(s, "the control could not be created");
    ControlInstance& c = *ctx.instance;
    auto put = [](auto result) {
        if (!result.ok()) throw std::make_pair(result.status, result.description);
    };
    try {
        put(c.PutI2(com::dispid::kRows, static_cast<std::int16_t>(*rows)));
        put(c.PutI2(com::dispid::kColumns, static_cast<std::int16_t>(*columns)));
        put(c.PutI2(com::dispid::kScrollRows, static_cast<std::int16_t>(*scrollRows)));
        put(c.PutUtf8(com::dispid::kFontName, "Monospace"));
        put(c.PutR4(com::dispid::kFontSize, static_cast<float>(*fontSize)));
        put(c.PutI2(com::dispid::kEmulation, *emulation));
        put(c.PutI2(com::dispid::kAutoProcess, com::TOLVEX_AUTOPROCESS_BOTH));
        // A ZModem sender started on the far side is answered (--set AutoZModem=0 turns it off).
        put(c.PutBool(com::dispid::kAutoZModem, true));
        for (const auto& [key, value] : ctx.options.sets) {
            const auto* p = FindByName(c.control()->TypeInfo(), key);
            if (!p) throw std::make_pair(com::Status(2), "no property " + key);
            put(c.PutUtf8(p->dispid, value));
        }
    } catch (const std::pair<com::Status, std::string>& failure) {
        return PrintError(failure.first, failure.second);
    }
    // The port opens once the values are in.
    ctx.options.sets.clear();
    {
        const auto port = static_cast<std::int16_t>(ctx.options.port);
        const std::string device = serial::MapPortToDevice(
            port, [](std::string_view key) { return profile::ReadProfileString("Ports", key); });
        std::fprintf(stderr, "tolvexctl: COM%d is %s\n", ctx.options.port, device.c_str());
        try {
            put(c.PutI2(com::dispid::kCommPort, port));
            if (!ctx.options.settings.empty()) put(c.PutUtf8(com::dispid::kSettings, ctx.options.settings));
            put(c.PutBool(com::dispid::kPortOpen, true));
        } catch (const std::pair<com::Status, std::string>& failure) {
            return PrintError(failure.first, failure.second);
        }
        window.setWindowTitle(QString::fromUtf8("tolvexctl terminal: COM%1 (%2)")
                                  .arg(ctx.options.port)
                                  .arg(QString::fromStdString(device)));
    }
    // ZModem's start sequence (event 8) is answered with a download into the
    // current folder; transfer events go to standard error.
    c.onEvent = [&c](com::DispId dispid, std::span<com::Variant>) {
        if (dispid != com::eventid::kOnComm) return;
        const int code = c.GetI2(com::dispid::kCommEvent).value;
        if (code == com::TOLVEX_EV_ZMODEM) {
            c.PutI2(com::dispid::kXferProtocol, com::TOLVEX_ZMODEM);
            if (auto r = c.PutUtf8(com::dispid::kDownload, ""); !r.ok())
                std::fprintf(stderr, "tolvexctl: %s\n", r.description.c_str());
        } else if (code == com::TOLVEX_EV_XFER) {
            std::fprintf(stderr, "xfer,%d,%s\n", c.GetI2(com::dispid::kXferStatus).value,
                         c.GetUtf8(com::dispid::kXferMessage).value.c_str());
        }
    };
    QWidget* terminal = c.control()->Window();
    if (!terminal) {
        std::fprintf(stderr, "tolvexctl: the control has no window\n");
        return ClosePort(ctx, 1);
    }
    layout->addWidget(terminal);
    // Room for the screen and its scroll bar in the control's font.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(static_cast<double>(*fontSize));
    const QFontMetrics metrics(font);
    window.resize(static_cast<int>(*columns) * metrics.horizontalAdvance(QLatin1Char('M')) + 20,
                  static_cast<int>(*rows) * metrics.height());
    window.show();
    terminal->setFocus();
    if (*quitAfter > 0) {
        QTimer::singleShot(static_cast<int>(*quitAfter), &window, [&] {
            if (snapshot && !window.grab().save(QString::fromStdString(*snapshot)))
                std::fprintf(stderr, "tolvexctl: cannot write %s\n", snapshot->c_str());
            app.quit();
        });
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (g_interrupted || !window.isVisible()) app.quit();
    });
    check.start(50);
    app.exec();
    c.onEvent = nullptr;
    layout->removeWidget(terminal);
    const int status = ClosePort(ctx, 0);
    return status;
}

// Commands whose arguments they check themselves.
constexpr std::size_t kAnyArgs = static_cast<std::size_t>(-1);

struct Command {
    const char* name;
    std::size_t args;  // arguments after the command (kAnyArgs: any)
    const char* usage;
    std::function<int(Context&)> run;
};

const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands = {
        {"props", 0, "props", Props},
        {"enums", 0, "enums", Enums},
        {"events", 0, "events", Events},
        {"get", 1, "[--design] [--bag FILE] [--set NAME=VALUE] get NAME", [](Context& c) { return GetOrPut(c, false); }},
        {"put", 2, "[--design] [--bag FILE] [--set NAME=VALUE] put NAME VALUE", [](Context& c) { return GetOrPut(c, true); }},
        {"save", 1, "[--design] [--bag FILE] [--set NAME=VALUE] save FILE", Save},
        {"load", 1, "[--design] load FILE", Load},
        {"about", 0, "about", About},
        {"pages", kAnyArgs, "[--bag FILE] [--set NAME=VALUE] pages [--save FILE] [--ok] [--screenshot DIR]", Pages},
        {"register", 0, "register", [](Context& c) { return Registration(c, true); }},
        {"unregister", 0, "unregister", [](Context& c) { return Registration(c, false); }},
        {"which", 0, "which", Which},
        {"term", kAnyArgs,
         "term --emulation {tty|ansi|vt52|vt100} --rows R --columns C [--scroll-rows S] [--backspace 0|1] "
         "[--chunk N] [--fore-color F] [--back-color B]",
         TermCommand},
    };
    return commands;
}

// The commands that work on an open port (with --port).
const std::vector<Command>& PortCommands()
{
    static const std::vector<Command> commands = {
        {"lines", 0, "--port N [--settings S] [--count K] [--set NAME=VALUE] lines",
         [](Context& c) { return PortCommand(c, Lines); }},
        {"send", 1, "--port N [--settings S] [--set NAME=VALUE] send TEXT",
         [](Context& c) { return PortCommand(c, Send); }},
        {"events", 0, "--port N [--settings S] [--count K] [--set NAME=VALUE] events",
         [](Context& c) { return PortCommand(c, PortEvents); }},
        {"terminal", kAnyArgs, "--port N [--settings S] [--set NAME=VALUE] terminal [--emulation E] [--rows R] [--columns C]",
         TerminalWindow},
        {"xfer", kAnyArgs, "--port N [--settings S] [--carrier-abort 0|1] xfer upload --protocol P FILE...",
         [](Context& c) { return PortCommand(c, Xfer); }},
        {"xfer", kAnyArgs,
         "--port N [--settings S] [--carrier-abort 0|1] xfer download --protocol P [--dir DIR] [--name NAME] [--resume] "
         "[--auto]",
         [](Context& c) { return PortCommand(c, Xfer); }},
    };
    return commands;
}

int Usage()
{
    std::fprintf(stderr, "usage:\n");
    for (const auto& c : Commands()) std::fprintf(stderr, "  tolvexctl %s\n", c.usage);
    for (const auto& c : PortCommands()) std::fprintf(stderr, "  tolvexctl %s\n", c.usage);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    Context ctx;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--design") {
            ctx.options.design = true;
        } else if (a == "--bag" && i + 1 < argc) {
            ctx.options.bag = argv[++i];
        } else if (a == "--set" && i + 1 < argc) {
            std::string kv = argv[++i];
            auto eq = kv.find('=');
            if (eq == std::string::npos) return Usage();
            ctx.options.sets.emplace_back(kv.substr(0, eq), kv.substr(eq + 1));
        } else if ((a == "--port" || a == "--count") && i + 1 < argc) {
            char* end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (!end || *end != '\0' || n <= 0 || n > 2147483647L) return Usage();
            (a == "--port" ? ctx.options.port : ctx.options.count) = static_cast<int>(n);
        } else if (a == "--settings" && i + 1 < argc) {
            ctx.options.settings = argv[++i];
        } else if (a == "--carrier-abort" && i + 1 < argc) {
            const std::string v = argv[++i];
            if (v != "0" && v != "1") return Usage();
            ctx.options.carrierAbort = v == "1";
        } else if (a == "-h" || a == "--help") {
            return Usage();
        } else {
            ctx.options.args.push_back(a);
        }
    }
    if (ctx.options.args.empty()) return Usage();
    for (const auto& c : ctx.options.port ? PortCommands() : Commands()) {
        if (ctx.options.args[0] != c.name) continue;
        if (c.args != kAnyArgs && ctx.options.args.size() != c.args + 1) return Usage();
        return c.run(ctx);
    }
    return Usage();
}
