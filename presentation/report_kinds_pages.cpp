#include "presentation/report_kinds_pages.h"

#include "acquisition/interface_settings.h"
#include "presentation/page_texts.h"

namespace orv {
namespace {

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string componentLine(const ComponentRef& c) {
    // The user private line alone has no leading tabs in this report.
    const char* indent = c.kind == ComponentKind::UserPrivate ? "" : "\t\t\t";
    return printfText("%s%s PID:0x%04x", indent, componentNames(c.kind).list, c.pid);
}

void addProgram(std::vector<std::string>& out, const ProgramSummary& p) {
    out.push_back(
        printfText("\t\t节目ID:               PMT[%04x]  PID:0x%04x", p.programNumber, p.pmtPid));
    const std::string& provider = p.service.provider.empty() ? "<None>" : p.service.provider;
    const std::string& name = p.service.name.empty() ? "<None>" : p.service.name;
    out.push_back("\t\t业务提供者名称:       " + provider);
    out.push_back("\t\t业务名称:             " + name);
    out.push_back(printfText("\t\tPCR_PID:              0x%04x", p.pcrPid));
    out.push_back("\t\t节目信息描述:");
    if (p.components.empty()) out.push_back("\t\t\t<None>");
    for (const ComponentRef& c : p.components)
        out.push_back(componentLine(c));
    out.push_back("");
}

const char* qamMode(int index) {
    switch (index) {
        case 0:
            return "\t\t调制模式\t16 QAM";
        case 1:
            return "\t\t调制模式\t32 QAM";
        case 2:
            return "\t\t调制模式\t64 QAM";
        case 3:
            return "\t\t调制模式\t128 QAM";
        case 4:
            return "\t\t调制模式\t256 QAM";
        default:
            return nullptr;
    }
}

}  // namespace

std::vector<std::vector<std::string>> structureReportRows(const BasicInfo& info) {
    std::vector<std::vector<std::string>> rows;
    for (const StructureRow& r : info.structure) {
        const bool ca = r.type == "ECM" || r.type == "EMM";
        rows.push_back({r.groupText, r.type, r.id, r.caSystemIdText, ca ? r.pidText : std::string(),
                        ca ? std::string() : r.pidText, r.pcrPidText, r.rate, r.bandwidth});
    }
    return rows;
}

std::vector<std::vector<std::string>> structureReportRows(const BasicInfoPage& page) {
    return structureReportRows(page.info());
}

std::string intervalReportLine(const IntervalRow& r) {
    const std::string name = r.tableId == 0x02 && r.received
                                 ? printfText("PMT[%04x]", unsigned(r.programNumber))
                                 : r.name;
    const bool upper = r.tableId == 0x4A || r.tableId == 0x4E || r.tableId == 0x4F;
    const std::string id = printfText(upper ? "0x%02X" : "0x%02x", r.tableId);
    std::string line = "\t\t\t" + padded(name, 14) + padded(id, 18);
    if (!r.received) return line + "-----              -----              -----";
    const bool timeTable = r.tableId == kTableTdt || r.tableId == kTableTot;
    const bool scheduleStart = r.tableId == 0x50 || r.tableId == 0x60;
    const std::string wide(14, ' '), narrow(13, ' ');
    line += printfText("%2.6f", r.current);
    line += timeTable ? narrow : wide;
    line += printfText("%2.6f", r.max);
    line += timeTable || scheduleStart ? narrow : wide;
    line += printfText("%2.6f", r.min);
    return line;
}

std::vector<std::string> basicInfoReportLines(const BasicInfo& i, const InterfaceSettings* cable) {
    std::vector<std::string> out;
    out.push_back("传送流数据结构:");
    static constexpr const char* kClassLines[kPacketClassCount] = {
        "\t\t视频:    ", "\t\t音频:    ", "\t\tPSI/SI:  ", "\t\t空包:    ", "\t\t其他:    "};
    for (int c = 0; c < kPacketClassCount; ++c)
        out.push_back(kClassLines[c] + i.classes[static_cast<std::size_t>(c)].text);

    out.push_back("传送流传送速率:");
    out.push_back("\t\t最小值:    " + i.rateMinText + " Mbps");
    out.push_back("\t\t最大值:    " + i.rateMaxText + " Mbps");
    out.push_back("\t\t平均值:    " + i.rateMeanText + " Mbps");
    out.push_back("\t\t当前值:    " + i.rateCurrentText + " Mbps");

    out.push_back("传送流信息");
    out.push_back("\t\tTS分组长度:    " + i.packetLengthText);
    out.push_back("\t\t同步丢失错误:  " + i.syncLossText);
    out.push_back("\t\t同步错误:      " + i.syncByteText);
    out.push_back("\t\t传送错误:      " + i.transportErrorText);

    out.push_back("PAT/NIT信息");
    out.push_back("\t\t传送流ID:    " + i.transportStreamIdText);
    out.push_back("\t\t节目数:      " + i.programCountText);
    out.push_back("\t\tPCR数:       " + i.pcrPidCountText);
    out.push_back("\t\tNIT_PID:     " + i.nitPidText);
    out.push_back("\t\t网络ID:      " + i.networkIdText);
    out.push_back("\t\t网络名称:    " + i.networkNameText);
    // The page shows the two identifiers of the NIT's first transport stream in two fields.
    const std::string ids = i.nitTransportStreamId || i.nitOriginalNetworkId
                                ? i.nitTransportStreamIdText + "-" + i.nitOriginalNetworkIdText
                                : std::string("<None>");
    out.push_back("\t\t传送-原始ID: " + ids);

    out.push_back("PMT信息:");
    for (const ProgramSummary& p : i.programs)
        addProgram(out, p);

    out.push_back("\t\tPSI/SI表传送间隔信息:");
    out.push_back(
        "\t\t\t内容          table_id          当前值(s)            最大值(s)              "
        "最小值(s)");
    for (const IntervalRow& r : i.intervals)
        out.push_back(intervalReportLine(r));

    out.push_back("QAM参数测量:");
    if (cable != nullptr && cable->inputInterface == InputInterface::Cable) {
        out.push_back("\t\t输入接口\tCABLE");
        out.push_back(printfText("\t\t下行频率\t%d KHz", cable->cableFrequencyKHz));
        out.push_back(printfText("\t\t符号率\t\t%d Ksymbol/s", cable->cableSymbolRateK));
        if (const char* mode = qamMode(cable->cableQamIndex)) out.push_back(mode);
    } else {
        out.push_back("\t\t<None>");
    }
    return out;
}

std::vector<std::string> basicInfoReportLines(const BasicInfoPage& page,
                                              const InterfaceSettings* cable) {
    return basicInfoReportLines(page.info(), cable);
}

std::vector<std::string> programReportLines(const ProgramView& v) {
    std::vector<std::string> out;
    out.push_back("节目基本信息:");
    out.push_back(printfText("    节目PID:0x%04x   节目号:0x%04x", v.pmtPid, v.programNumber));
    out.push_back(printfText("    节目单元数:%d", v.componentCount));
    out.push_back(printfText("    PCR_PID:0x%04x", v.pcrPid));
    out.push_back("    节目类型:" + v.serviceTypeText);
    out.push_back("    加密状态:" + v.scrambledText);
    out.push_back("    运行状态:" + v.runningText);
    out.push_back("    业务提供者名称:" + v.provider);
    out.push_back("    业务名称:" + v.serviceName);
    out.push_back("");
    out.push_back("    序号  类型            PID        码率(Mbps)    连续计数错");
    for (const ComponentRow& r : v.components) {
        std::string line = "    ";
        for (const std::string* cell : {&r.index, &r.type, &r.pid, &r.rate, &r.ccErrors})
            line += *cell + "     ";
        out.push_back(line);
    }
    out.push_back("");

    auto pes = [&out](const PesHeaderTexts& p) {
        out.push_back("    PES包前缀:" + p.prefix);
        out.push_back("    Stream_ID:" + p.streamId);
        out.push_back("    PES包长度:" + p.length);
        out.push_back("    PES加扰标志:" + p.scrambling);
        out.push_back("    PES优先标志:" + p.priority);
        out.push_back("    数据对齐标志:" + p.alignment);
    };
    const VideoHeaderTexts& vi = v.video;
    out.push_back("    视频es流信息:");
    out.push_back(printfText("    视频PID:0x%04x", v.videoPid));
    out.push_back("    视频格式:" + vi.format);
    out.push_back("    水平大小:" + vi.horizontal);
    out.push_back("    垂直大小:" + vi.vertical);
    out.push_back("    帧频:" + vi.frameRate);
    out.push_back("    传输速率:" + vi.bitRate);
    out.push_back("    类和级:" + vi.profileLevel);
    out.push_back("    宽高比:" + vi.aspectRatio);
    out.push_back("    色度格式:" + vi.chroma);
    pes(vi.pes);

    const AudioHeaderTexts& au = v.audio;
    const unsigned audioPid =
        v.audioIndex >= 0 && v.audioIndex < static_cast<int>(v.audioPids.size())
            ? v.audioPids[static_cast<std::size_t>(v.audioIndex)]
            : 0;
    out.push_back("    音频es流信息:");
    out.push_back(printfText("    音频PID:0x%04x", audioPid));
    out.push_back("    音频格式:" + au.format);
    out.push_back("    层:" + au.layer);
    out.push_back("    比特率:" + au.bitRate);
    out.push_back("    采样率:" + au.sampling);
    out.push_back("    模式:" + au.mode);
    out.push_back("    加重:" + au.emphasis);
    pes(au.pes);
    return out;
}

std::vector<std::string> programReportLines(const ProgramInfoPage& page) {
    return programReportLines(page.view());
}

}  // namespace orv
