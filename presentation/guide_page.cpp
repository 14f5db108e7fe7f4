#include "presentation/guide_page.h"

#include <cstdio>

namespace orv {
namespace {

constexpr const char* kServiceTypes[] = {
    "数字电视业务",         "数字音频广播业务", "图文电视业务",   "NVOD参考业务",
    "NVOD时移业务",         "马赛克业务",       "PAL制编码信号",  "SECAM制编码信号",
    "本指导性技术文件预留", "调频广播",         "NTSC制编码信号", "数据广播业务",
    "公共接口使用预留",     "RCS映射",          "RCS FLS",        "MHP业务",
};

std::string hex4(unsigned v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", v & 0xFFFFu);
    return text;
}

std::string rowNumber(std::size_t row) {
    char text[24];
    std::snprintf(text, sizeof text, "%02zu", row);
    return text;
}

const GuideList& guideList(const AnalysisContext& ctx, GuideListId list) {
    return list == GuideListId::Actual ? ctx.guide.actual : ctx.guide.other;
}

}  // namespace

const char* guideServiceTypeText(uint32_t serviceType) {
    if (serviceType >= 1 && serviceType <= std::size(kServiceTypes))
        return kServiceTypes[serviceType - 1];
    return "用户定义节目";
}

const char* guideScramblingText(uint32_t freeCaMode) {
    return freeCaMode == 1 ? "业务被加扰" : "业务未被加扰";
}

std::vector<GuideEventRow> guideEventRows(std::span<const GuideEvent> events) {
    std::vector<GuideEventRow> rows;
    rows.reserve(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        const GuideEvent& e = events[i];
        rows.push_back({rowNumber(i), hex4(e.eventId), e.name, e.start, e.duration});
    }
    return rows;
}

std::string guideClockText(const std::tm& tm) {
    char text[64];
    const int n =
        std::snprintf(text, sizeof text, "%02d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                      tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return std::string(text, n > 0 && n < static_cast<int>(sizeof text) ? n : 0);
}

int GuidePage::refresh(const AnalysisContext& ctx) {
    const std::time_t now = clock_ != nullptr ? clock_() : std::time(nullptr);
    std::tm local{}, gmt{};
    texts_.localTime = localtime_r(&now, &local) != nullptr ? guideClockText(local) : "";
    texts_.gmtTime = gmtime_r(&now, &gmt) != nullptr ? guideClockText(gmt) : "";

    for (const GuideListId id : {GuideListId::Actual, GuideListId::Other}) {
        const GuideList& list = guideList(ctx, id);
        std::vector<GuideServiceRow>& rows = services_[index(id)];
        if (rows.size() < list.services.size()) {
            rows.clear();
            events_.clear();
            for (std::size_t i = 0; i < list.services.size(); ++i)
                rows.push_back({rowNumber(i), hex4(list.services[i].serviceId)});
        }
    }
    for (const GuideListId id : {GuideListId::Actual, GuideListId::Other}) {
        const bool created = guideList(ctx, id).created;
        if (created && !createdSeen_[index(id)]) clearDescription();
        createdSeen_[index(id)] = created;
    }
    timerArmed_ = true;
    return kGuideRefreshMs;
}

void GuidePage::clearDescription() {
    events_.clear();
    const std::string local = std::move(texts_.localTime), gmt = std::move(texts_.gmtTime);
    texts_ = GuideTexts{};
    texts_.localTime = local;
    texts_.gmtTime = gmt;
}

void GuidePage::selectionChanged(const AnalysisContext& ctx, GuideListId list, int row) {
    if (holds_[index(list)]) return;
    choose(ctx, list, row, false);
}

void GuidePage::clicked(const AnalysisContext& ctx, GuideListId list, int row) {
    if (!holds_[index(list)]) return;
    choose(ctx, list, row, true);
}

void GuidePage::choose(const AnalysisContext& ctx, GuideListId list, int row, bool click) {
    const GuideList& guide = guideList(ctx, list);
    if (row < 0 || row >= guide.count()) return;
    const GuideService& s = guide.services[static_cast<std::size_t>(row)];
    const std::array<std::string, 3> ids = {hex4(s.serviceId), hex4(s.transportStreamId),
                                            hex4(s.originalNetworkId)};
    if (!click && ids == shownIds_) return;
    events_ = guideEventRows(s.events);
    texts_.serviceId = ids[0];
    texts_.transportStreamId = ids[1];
    texts_.originalNetworkId = ids[2];
    texts_.serviceName = s.serviceName;
    texts_.providerName = s.providerName;
    texts_.serviceType = guideServiceTypeText(s.serviceType);
    texts_.scrambling = guideScramblingText(s.freeCaMode);
    shownIds_ = ids;
    holds_[index(list)] = true;
    holds_[1 - index(list)] = false;
}

void GuidePage::reset() {
    timerArmed_ = false;
    for (auto& rows : services_)
        rows.clear();
    events_.clear();
    texts_ = GuideTexts{};
    holds_ = {};
    shownIds_ = {};
    createdSeen_ = {};
}

}  // namespace orv
