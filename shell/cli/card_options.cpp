#include "shell/cli/card_options.h"

#include "platform/message.h"

namespace orv::cli {

void addCardOptions(CLI::App* cmd, CardOptionsCli& cli, std::string_view defaultInput) {
    cmd->add_option("--interface", cli.interfaceName,
                    "Card input: asi or cable (default " + std::string(defaultInput) + ")")
        ->type_name("asi|cable");
    cmd->add_option("--freq", cli.frequencyKHz, "CABLE input: downstream frequency in kHz")
        ->type_name("KHZ");
    cmd->add_option("--symbol-rate", cli.symbolRateK, "CABLE input: symbol rate in ksymbol/s")
        ->type_name("KSYM");
    cmd->add_option("--qam", cli.qam, "CABLE input: 16, 32, 64, 128 or 256")->type_name("QAM");
}

std::optional<InterfaceSettings> cardSettings(const CLI::App& cmd, const CardOptionsCli& cli,
                                              const std::string& source, InterfaceSettings s) {
    const bool cableValues =
        cmd.count("--freq") > 0 || cmd.count("--symbol-rate") > 0 || cmd.count("--qam") > 0;
    const bool cardValues = cableValues || cmd.count("--interface") > 0;
    if (cardValues && isIpUrl(source)) {
        showMessage("orv01: --interface, --freq, --symbol-rate and --qam set up the card; " +
                    source + " is an IP input");
        return std::nullopt;
    }
    if (cmd.count("--interface") > 0) {
        const std::optional<InputInterface> input = inputInterfaceNamed(cli.interfaceName);
        if (!input) {
            showMessage("orv01: --interface takes asi or cable, not \"" + cli.interfaceName + "\"");
            return std::nullopt;
        }
        s.inputInterface = *input;
    }
    if (cableValues && s.inputInterface != InputInterface::Cable) {
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
        s.cableFrequencyKHz = cli.frequencyKHz;
    }
    if (cmd.count("--symbol-rate") > 0) {
        if (cli.symbolRateK < 1 || cli.symbolRateK > 100'000) {
            showMessage("orv01: --symbol-rate takes the symbol rate in ksymbol/s, 1 to 100000");
            return std::nullopt;
        }
        s.cableSymbolRateK = cli.symbolRateK;
    }
    if (cmd.count("--qam") > 0) {
        const std::optional<int> index = qamIndexOfOrder(cli.qam);
        if (!index) {
            showMessage("orv01: --qam takes 16, 32, 64, 128 or 256");
            return std::nullopt;
        }
        s.cableQamIndex = *index;
    }
    return s;
}

std::optional<SourceChoice> chooseSource(const std::string& source, std::string_view command) {
    if (isIpUrl(source)) {
        IpUrlParse parsed = parseIpUrl(source);
        if (!parsed.url) {
            showMessage("orv01: " + parsed.error);
            return std::nullopt;
        }
        return SourceChoice{std::move(parsed.url)};
    }
    if (source == "card") return SourceChoice{};
    showMessage("orv01: " + std::string(command) +
                " takes \"card\" or an IP URL (udp://[SOURCE@]GROUP:PORT, rtp://...), not \"" +
                source + "\"");
    return std::nullopt;
}

}  // namespace orv::cli
