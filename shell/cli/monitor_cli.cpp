#include "shell/cli/monitor_cli.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <ostream>
#include <streambuf>

#include "acquisition/ip_url.h"
#include "platform/message.h"

namespace orv::cli {

namespace {

// An unbuffered output stream buffer over a file descriptor (the command flushes each line).
class FdBuf final : public std::streambuf {
  public:
    explicit FdBuf(int fd) : fd_(fd) {}

  protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::streamsize done = 0;
        while (done < n) {
            const ssize_t w = ::write(fd_, s + done, static_cast<size_t>(n - done));
            if (w <= 0) break;
            done += w;
        }
        return done;
    }

  private:
    int fd_;
};

}  // namespace

int runMonitorOnStdout(const MonitorOptions& options) {
    return runKeepingStdout([&](std::ostream& out) { return runMonitor(options, out, std::cerr); });
}

int runKeepingStdout(const std::function<int(std::ostream&)>& body) {
    std::cout.flush();
    std::fflush(stdout);
    const int own = ::dup(STDOUT_FILENO);
    if (own < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return body(std::cout);
    int rc = 0;
    {
        FdBuf buf(own);
        std::ostream out(&buf);
        rc = body(out);
    }
    std::fflush(stdout);
    ::dup2(own, STDOUT_FILENO);
    ::close(own);
    return rc;
}

void addMonitorCommand(CLI::App& app, MonitorCli& cli) {
    MonitorOptions& o = cli.options;
    CLI::App* cmd = app.add_subcommand(
        "monitor", "Analyse live from the capture card or a UDP/RTP stream until stopped");
    cli.command = cmd;
    cmd->footer(
        "Exit codes: 0 stopped (end of --duration, SIGINT or SIGTERM); 1 findings (with "
        "--fail-on); 2 usage error, or the input could not be set up (nothing analysed); 4 the "
        "error log could not be written. When several apply: 4, then 1.\n"
        "Without hardware, a simulated card: ORV_SIM_DEVICE='pci:file=stream.ts,speed=1'.");
    cmd->add_option("SOURCE", o.source,
                    "card (card 0, the default) or udp://[SOURCE@]GROUP:PORT[?iface=lo], "
                    "rtp://...")
        ->capture_default_str();
    cmd->add_option("--interface", cli.interfaceName, "Card input: asi (default) or cable")
        ->type_name("asi|cable");
    cmd->add_option("--freq", cli.frequencyKHz, "CABLE input: downstream frequency in kHz")
        ->type_name("KHZ");
    cmd->add_option("--symbol-rate", cli.symbolRateK, "CABLE input: symbol rate in ksymbol/s")
        ->type_name("KSYM");
    cmd->add_option("--qam", cli.qam, "CABLE input: 16, 32, 64, 128 or 256")->type_name("QAM");
    cmd->add_option("--duration", o.durationSeconds,
                    "Stop after this many seconds (default: run until SIGINT or SIGTERM)")
        ->type_name("SECONDS")
        ->check(CLI::PositiveNumber);
    cmd->add_flag("--json", o.json,
                  "JSON Lines on stdout: one status object per second, then the document of "
                  "`analyze --json` as the last line");
    cmd->add_option("--log", o.logPath, "Error log the event list is appended to")
        ->capture_default_str();
    cmd->add_flag("--no-log", cli.noLog, "Do not write the error log");
    cmd->add_option("--switches", cli.switches,
                    "The 32 monitoring switches for this run, '0' or '1' each in kind order");
    cmd->add_flag("--fail-on", o.failOnFindings,
                  "Exit with 1 when any monitored kind has a finding");
    cmd->add_flag("--no-progress,--quiet", cli.noProgress, "No status line on stderr");
}

std::optional<MonitorOptions> monitorOptions(MonitorCli& cli) {
    MonitorOptions o = cli.options;
    CLI::App& cmd = *cli.command;
    const bool cableValues =
        cmd.count("--freq") > 0 || cmd.count("--symbol-rate") > 0 || cmd.count("--qam") > 0;
    const bool cardValues = cableValues || cmd.count("--interface") > 0;
    if (cardValues && isIpUrl(o.source)) {
        showMessage("orv01: --interface, --freq, --symbol-rate and --qam set up the card; " +
                    o.source + " is an IP input");
        return std::nullopt;
    }
    if (cmd.count("--interface") > 0) {
        const std::optional<InputInterface> input = inputInterfaceNamed(cli.interfaceName);
        if (!input) {
            showMessage("orv01: --interface takes asi or cable, not \"" + cli.interfaceName + "\"");
            return std::nullopt;
        }
        o.interface.inputInterface = *input;
    }
    if (cableValues && o.interface.inputInterface != InputInterface::Cable) {
        showMessage(
            "orv01: --freq, --symbol-rate and --qam set the CABLE input: add "
            "--interface cable");
        return std::nullopt;
    }
    if (cmd.count("--freq") > 0) {
        if (cli.frequencyKHz < 1 || cli.frequencyKHz > 2'000'000) {
            showMessage("orv01: --freq takes the frequency in kHz, 1 to 2000000");
            return std::nullopt;
        }
        o.interface.cableFrequencyKHz = cli.frequencyKHz;
    }
    if (cmd.count("--symbol-rate") > 0) {
        if (cli.symbolRateK < 1 || cli.symbolRateK > 100'000) {
            showMessage("orv01: --symbol-rate takes the symbol rate in ksymbol/s, 1 to 100000");
            return std::nullopt;
        }
        o.interface.cableSymbolRateK = cli.symbolRateK;
    }
    if (cmd.count("--qam") > 0) {
        const std::optional<int> index = qamIndexOfOrder(cli.qam);
        if (!index) {
            showMessage("orv01: --qam takes 16, 32, 64, 128 or 256");
            return std::nullopt;
        }
        o.interface.cableQamIndex = *index;
    }
    o.writeLog = !cli.noLog;
    if (cli.noProgress) o.status = false;
    if (!cli.switches.empty()) o.switches = cli.switches;
    return o;
}

}  // namespace orv::cli
