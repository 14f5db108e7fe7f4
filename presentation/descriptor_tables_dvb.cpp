// Descriptor tables of DVB SI (ETSI EN 300 468), tags 0x40..0x66.
#include "presentation/descriptor_catalogue.h"
#include "presentation/descriptor_formatters.h"
#include "presentation/descriptor_row_builders.h"

namespace orv {
namespace {

using namespace row;

constexpr FieldRow kNetworkName[] = {
    text("Network_info", -1, " %s"),
};

constexpr FieldRow kServiceList[] = {
    loop(1),
    custom("", "", 24, fmt::serviceListEntry),
};

constexpr FieldRow kStuffing[] = {
    codes("Stuffing_byte", -1),
};

constexpr ValueText kFecInner[] = {{1, "1   (卷积码率1/2)"}, {2, "2   (卷积码率2/3)"},
                                   {3, "3   (卷积码率3/4)"}, {4, "4   (卷积码率4/5)"},
                                   {5, "5   (卷积码率7/8)"}, {15, "15   (无卷积编码)"}};
constexpr ValueText kWestEast[] = {{1, "1   (卫星处于轨道东部)"}, {0, "0   (卫星处于轨道西部)"}};
constexpr ValueText kPolarization[] = {{0, "0   (线极化,水平极化)"},
                                       {1, "1   (线极化,垂直极化)"},
                                       {2, "2   (圆极化,左旋圆极化)"},
                                       {3, "3   (圆极化,右旋圆极化)"}};
constexpr ValueText kSatelliteModulation[] = {{1, "0x01   (QPSK 调制)"}};
constexpr FieldRow kSatelliteDelivery[] = {
    digits("Frequency", "32 bit", 32, "%d%d%d.%d%d%d%d%d GHz"),
    digits("Orbital_position", "16 bit", 16, "%d%d%d.%d 度 (轨道位置)"),
    coded("West_east_flag", "1 bit", 1, kWestEast),
    coded("Polarization", "2 bit", 2, kPolarization),
    coded("Modulation", "5 bit", 5, kSatelliteModulation, "0x%02x   (未定义)"),
    digits("Symbol_rate", "28 bit", 28, "%d%d%d.%d%d%d%d Msymbol/s"),
    coded("FEC_inner", "4 bit", 4, kFecInner, "%d   (未定义)"),
};

constexpr ValueText kFecOuter[] = {{1, "1   (无FEC外码)"}, {2, "2   (RS(204,188))"}};
constexpr ValueText kCableModulation[] = {{1, "1   (16 QAM)"},
                                          {2, "2   (32 QAM)"},
                                          {3, "3   (64 QAM)"},
                                          {4, "4   (128 QAM)"},
                                          {5, "5   (256 QAM)"}};
constexpr FieldRow kCableDelivery[] = {
    digits("Frequency", "32 bit", 32, "%d%d%d%d.%d%d%d%d MHz"),
    fixed("reserved(future use)", "12 bit", 12, "0xfff"),
    coded("FEC_outer", "4 bit", 4, kFecOuter, "%d   (未定义)"),
    coded("Modulation", "8 bit", 8, kCableModulation, "%d   (未定义)"),
    digits("Symbol_rate", "28 bit", 28, "%d%d%d.%d%d%d%d Msymbol/s"),
    coded("FEC_inner", "4 bit", 4, kFecInner, "%d   (未定义)"),
};

constexpr FieldRow kBouquetName[] = {
    text("BAT_info", -1),
};

constexpr FieldRow kService[] = {
    custom("Service_type", "8 bit", 8, fmt::serviceType),
    skip(8, 0),
    text("Service_provider_name", 0),
    skip(8, 1),
    text("Service_name", 1),
};

constexpr FieldRow kCountryAvailability[] = {
    num("Country_availability_flag", "1 bit", 1),
    fixed("reserved(future use)", "7 bit", 7, "0x7f"),
    codes("Country_code", -1),
};

constexpr ValueText kLinkageType[] = {
    {1, "1   (信息服务)"},     {2, "2   (EPG)"},
    {3, "3   (CA替换功能)"},   {4, "4   (含有完整网络/业务群SI的TS)"},
    {5, "5   (业务替换功能)"}, {6, "6   (数据广播)"},
    {7, "7\t (RCS 映射)"},     {8, "8   (移动漫游)"}};
constexpr FieldRow kLinkage[] = {
    num("Transpor_stream_ID", "16 bit", 16, "0x%04x  (传送流标识ID)"),
    num("Original_network_ID", "16 bit", 16, "0x%04x  (原始网络标识ID)"),
    num("Service_ID", "16 bit", 16, "0x%04x   (业务标识ID:0x%04x)"),
    coded("Linkage_type", "8 bit", 8, kLinkageType, "%d   (用户定义)"),
    codes("Private_data_byte", -1),
};

constexpr FieldRow kNvodReference[] = {
    loop(3),
    withHead(num("Transport_stream_ID", "16 bit", 16, "0x%04x"),
             "   Transport_stream_ID         16 bit       "),
    num("Original_network_ID", "16 bit", 16, "0x%04x"),
    num("Service_ID", "16 bit", 16, "0x%04x   (业务ID:0x%04x)"),
};

constexpr FieldRow kTimeShiftedService[] = {
    num("Reference_Service_ID", "16 bit", 16, "0x%04x (参考业务标识符)"),
};

constexpr FieldRow kShortEvent[] = {
    chars("ISO_639_language_code", "24 bit"), skip(8, 0),
    text("Event_name", 0, "%s (事件名称)"),   skip(8, 1),
    text("Text_char", 1, "%s (事件描述)"),
};

constexpr FieldRow kExtendedEvent[] = {
    num("Descriptor_number", "4 bit", 4),
    num("Last_descriptor_number", "4 bit", 4),
    chars("ISO_639_language_code", "24 bit"),
    skip(8, 0),
    loop(4, 0),
    skip(8, 1),
    withHead(text("Item_descriptor_char", 1), "   Item_descriptor_char        %dchar       "),
    skip(8, 2),
    text("Item_char", 2),
    skip(8, 3),
    text("Text_char", 3),
};

constexpr FieldRow kTimeShiftedEvent[] = {
    num("Reference_Service_ID", "16 bit", 16, "0x%04x"),
    num("Reference_Event_ID", "16 bit", 16, "0x%04x"),
};

constexpr FieldRow kComponent[] = {
    skip(4),
    custom("", "", 12, fmt::componentPair),
    num("Component_tag", "8 bit", 8, "0x%02x"),
    chars("ISO_639_language_code", "24 bit"),
    text("Text_char", -1),
};

constexpr ValueText kMosaicEntryPoint[] = {{1, "1 (马赛克在一个层中为最高)"},
                                           {0, "0 (马赛克在一个层中不处于最高)"}};
constexpr ValueText kCellPresentation[] = {{1, "0x01 (逻辑单元呈现类型:视频)"}};
constexpr ValueText kCellLinkage[] = {{1, "0x01 (与业务群相关)"},
                                      {2, "0x02 (与业务相关)"},
                                      {3, "0x03 (其他马赛克相关)"},
                                      {4, "0x04 (与事件相关)"}};
constexpr FieldRow kMosaic[] = {
    coded("Mosaic_entry_point", "1 bit", 1, kMosaicEntryPoint),
    withHead(custom("Number_of_horizontal_elementary_cells", "3 bit", 3, fmt::horizontalCells),
             "   Number_of_horizontal_elementary_cells   3 bit   "),
    skip(1),
    withHead(custom("Number_of_vertical_elementary_cells", "3 bit", 3, fmt::verticalCells),
             "   Number_of_vertical_elementary_cells     3 bit   "),
    loop(16),
    num("Logical_cell_id", "6 bit", 6, "0x%02x"),
    fixed("reserved(future use)", "7 bit", 7, "0x7f"),
    withHead(coded("Logical_cell_presentation_info", "3 bit", 3, kCellPresentation, "0x%02x"),
             "   Logical_cell_presentation_info  3 bit   "),
    skip(8, 0),
    loop(2, 0),
    skip(2),
    num("Elementary_cell_id", "8 bit", 6, "0x%02x"),
    stored(coded("Cell_linkage_info", "8 bit", 8, kCellLinkage, "0x%02x (未定义)"), 1),
    when(1, 1, 1, 1),
    num("Bouquet_id", "16 bit", 16, "0x%04x (业务群标识符)"),
    when(1, 2, 4, 3),
    num("Original_network_id", "16 bit", 16, "0x%04x (原始网络标识符)"),
    num("Transport_stream_id", "16 bit", 16, "0x%04x (传送流标识符)"),
    num("Service_id", "16 bit", 16, "0x%04x (业务标识符)"),
    when(1, 4, 4, 1),
    num("Event_id", "16 bit", 16, "0x%04x (事件标识符)"),
};

constexpr FieldRow kStreamIdentifier[] = {
    num("Component_tag", "8 bit", 8, "0x%02x (组件标签)"),
};

constexpr FieldRow kCaIdentifier[] = {
    loop(1),
    num("CA_system_id", "16 bit", 16, "0x%04x (条件接收系统标识符)"),
};

constexpr FieldRow kContent[] = {
    loop(5),
    stored(withHead(num("Content_nibble_level_1", "4 bit", 4, "0x%02x"),
                    "   Content_nibble_level_1     4 bit           "),
           0),
    stored(withHead(num("Content_nibble_level_2", "4 bit", 4, "0x%02x"),
                    "   Content_nibble_level_2     4 bit           "),
           1),
    withHead(custom("", "", 0, fmt::contentText), "      "),
    withHead(num("User_nibble", "4 bit", 4, "0x%x (广播者定义节目内容分类)"),
             "   User_nibble                4 bit           "),
    withHead(num("User_nibble", "4 bit", 4, "0x%x (广播者定义节目内容分类)"),
             "   User_nibble                4 bit           "),
};

constexpr FieldRow kParentalRating[] = {
    loop(2),
    chars("Country_code", "24 bit", "%s (国家代码)"),
    custom("Rating", "8 bit", 8, fmt::parentalRating),
};

constexpr ValueText kTeletextType[] = {{1, "0x01   (初始图文电视页)"},
                                       {2, "0x02   (图文电视字幕页)"},
                                       {3, "0x03   (附加信息页)"},
                                       {4, "0x04   (节目时间表)"},
                                       {5, "0x05   (图文电视字幕页(为听力障碍者提供))"}};
constexpr FieldRow kTeletext[] = {
    loop(4),
    withHead(chars("ISO_639_language_code", "24 bit"), "\tISO_639_language_code\t\t24 bit\t\t\t"),
    coded("Teletext_type", "5 bit", 5, kTeletextType, "0x%02x   (预留使用)"),
    num("Teletext_magazine_number", "3 bit", 3),
    num("Teletext_page_number", "8 bit", 8),
};

constexpr ValueText kForeignAvailability[] = {{1, "1 (描述号码可在指定的国家/地区外呼叫)"},
                                              {0, "0 (描述号码只能在指定的国家/地区呼叫)"}};
constexpr FieldRow kTelephone[] = {
    fixed("reserved(future use)", "2 bit", 2, "3"),
    coded("Foreign_availability", "1 bit", 1, kForeignAvailability),
    withHead(num("Connect_type", "5 bit", 5, "0x%02x (连接类型)"),
             "\tConnect_type\t\t\t\t5 bit\t\t\t"),
    fixed("reserved(future use)", "1 bit", 1, "1"),
    stored(num("Country_prefix_length", "2 bit", 2), 0),
    stored(withHead(num("International_area_code_length", "3 bit", 3),
                    "   International_area_code_length  3 bit       "),
           1),
    stored(num("Operator_code_length", "2 bit", 2), 2),
    fixed("reserved(future use)", "1 bit", 1, "1)"),
    stored(num("National_area_code_length", "3 bit", 3), 3),
    stored(num("Core_number_length", "4 bit", 4), 4),
    codes("国家/地区前缀", 0),
    withHead(codes("国际区域代码", 1), "\t国际区域代码\t\t\t\t%dchar\t\t\t"),
    codes("运营商代码", 2),
    codes("国内区域代码", 3),
    codes("局号码字符", 4),
};

constexpr ValueText kOffsetPolarity[] = {{0, "0 (本地时间早于UTC时间)"},
                                         {1, "1 (本地时间晚于UTC时间)"}};
constexpr FieldRow kLocalTimeOffset[] = {
    loop(7),
    chars("Country_code", "24 bit", "%s (国家代码)"),
    custom("Country_region_id", "6 bit", 6, fmt::countryRegion),
    fixed("reserved", "1 bit", 1, "1"),
    coded("Local_time_offset_polarity", "1 bit", 1, kOffsetPolarity),
    withHead(bytes("Local_time_offset", "16 bit", 16, "%02x小时%02x分钟"),
             "\tLocal_time_offset\t\t\t16 bit\t\t\t"),
    mjdTime("Time_of_change"),
    bytes("Next_time_offset", "16 bit", 16, "%02x小时%02x分钟"),
};

constexpr ValueText kSubtitlingType[] = {{0x01, "0x01 (图文字幕)"},
                                         {0x02, "0x02 (相关图文)"},
                                         {0x03, "0x03 (VBI数据)"},
                                         {0x10, "0x10 (DVB字幕,无宽高比限制)"},
                                         {0x11, "0x11 (DVB字幕,宽高比 4:3)"},
                                         {0x12, "0x12 (DVB字幕,宽高比 16:9)"},
                                         {0x13, "0x013 (DVB字幕,宽高比 2.21:1)"},
                                         {0x20, "0x20 (DVB字幕,听力障碍者用,无宽高比限制)"},
                                         {0x21, "0x21 (DVB字幕,听力障碍者用,宽高比 4:3)"},
                                         {0x22, "0x22 (DVB字幕,听力障碍者用,宽高比 16:9)"},
                                         {0x23, "0x23 (DVB字幕,听力障碍者用,宽高比 2.21:1)"}};
constexpr FieldRow kSubtitling[] = {
    loop(4),
    chars("ISO_639_language_code", "24 bit"),
    coded("Subtitling_type", "8 bit", 8, kSubtitlingType, "0x%02x (预留使用)"),
    num("Composition_page_id", "16 bit", 16, "0x%04x (标识构图页面)"),
    num("Ancilary_page_id", "16 bit", 16, "0x%04x (附属页面)"),
};

constexpr ValueText kBandwidth[] = {{0, "8 MHz"}, {1, "7 MHz"}};
constexpr ValueText kConstellation[] = {
    {0, "0 (QPSK模式)"}, {1, "1 (16-QAM模式)"}, {2, "2 (64-QAM模式)"}, {3, "3 (预留使用)"}};
constexpr ValueText kHierarchyInformation[] = {
    {0, "0 (不分层)"}, {1, "1 (层信息α = 1)"}, {2, "2 (层信息α = 2)"}, {3, "3 (层信息α = 3)"}};
constexpr ValueText kCodeRate[] = {{0, "0 (卷积码率1/2)"},
                                   {1, "1 (卷积码率2/3)"},
                                   {2, "2 (卷积码率3/4)"},
                                   {3, "3 (卷积码率5/6)"},
                                   {4, "4 (卷积码率7/8)"}};
constexpr ValueText kGuardInterval[] = {{0, "0 (检测间隔:1/32)"},
                                        {1, "1 (检测间隔:1/16)"},
                                        {2, "2 (检测间隔:1/8)"},
                                        {3, "3 (检测间隔:1/4)"}};
constexpr ValueText kTransmissionMode[] = {{0, "0 (2k 模式)"}, {1, "1 (8k 模式)"}};
constexpr ValueText kOtherFrequency[] = {{0, "0 (无其他频率使用)"}, {1, "1 (使用其他频率)"}};
constexpr FieldRow kTerrestrialDelivery[] = {
    custom("Centre_frequency", "32 bit", 32, fmt::terrestrialFrequency),
    coded("BandWidth", "3 bit", 3, kBandwidth, "%d   (保留)"),
    fixed("reserved(future use)", "5 bit", 5, "0x1f"),
    coded("Constellation", "2 bit", 2, kConstellation),
    coded("Hierarchy_information", "3 bit", 3, kHierarchyInformation, "%d (保留)"),
    coded("Code_rate-HP_stream", "3 bit", 3, kCodeRate, "%d (预留使用)"),
    coded("Code_rate-LP_stream", "3 bit", 3, kCodeRate, "%d (预留使用)"),
    coded("Guard_interval", "3 bit", 2, kGuardInterval),
    coded("Transmission_mode", "2 bit", 2, kTransmissionMode, "%d (预留使用)"),
    coded("Other_frequency_mode", "1 bit", 1, kOtherFrequency),
    fixed("reserved(future use)", "32 bit", 32, "0xffffffff"),
};

constexpr FieldRow kMultilingualNetworkName[] = {
    loop(3),
    chars("ISO_639_language_code", "24 bit"),
    stored(num("Network_name_length", "8 bit", 8, "%d 字节"), 0),
    text("Network_name", 0),
};

constexpr FieldRow kMultilingualBouquetName[] = {
    loop(3),
    chars("ISO_639_language_code", "24 bit", "%s "),
    stored(num("Bouquet_name_length", "8 bit", 8, "%d 字节 "), 0),
    text("业务群名称", 0),
};

constexpr FieldRow kMultilingualServiceName[] = {
    loop(5),
    chars("ISO_639_language_code", "24 bit", "%s "),
    stored(withHead(num("Service_provider_name_length", "8 bit", 8, "%d 字节 "),
                    "   Service_provider_name_length 8 bit         "),
           0),
    text("Service_provider_name", 0),
    stored(num("Service_name_length", "8 bit", 8, "%d 字节 "), 1),
    withHead(text("Service_name", 1), "   Service_name               %dchar          "),
};

constexpr FieldRow kMultilingualComponent[] = {
    num("Component_tag", "8 bit", 8, "0x%02x (组件标签)"),
    loop(3),
    chars("ISO_639_language_code", "24 bit", "%s "),
    stored(num("Text_description_length", "8 bit", 8, "%d 字节 "), 0),
    text("Text", 0, "   %s"),
};

constexpr FieldRow kPrivateDataSpecifier[] = {
    num("Private_data_specifier", "32 bit", 32, "0x%08x (专用数据说明符)"),
};

constexpr FieldRow kServiceMove[] = {
    num("New_original_network_id", "16 bit", 16, "0x%04x"),
    num("New_transport_stream_id", "16 bit", 16, "0x%04x"),
    num("New_service_id", "16 bit", 16, "0x%04x"),
};

constexpr ValueText kShortSbSize[] = {{1, "1 (1536 字节)"}};
constexpr FieldRow kShortSmoothingBuffer[] = {
    coded("SB_size", "2 bit", 2, kShortSbSize, "%d (预留使用)"),
    custom("SB_leak_rate", "6 bit", 6, fmt::shortSmoothingLeakRate),
};

constexpr ValueText kCodingType[] = {{1, "1   卫星"}, {2, "2   有线"}, {3, "3   地面"}};
constexpr FieldRow kFrequencyList[] = {
    skip(6),
    stored(coded("Coding_type", "2 bit", 2, kCodingType, "%d   未定义"), 0),
    loop(1),
    custom("Centre_frequency", "32 bit", 32, fmt::listedFrequency),
};

constexpr FieldRow kPartialTransportStream[] = {
    skip(2), custom("Peak_rate", "22 bit", 22, fmt::partialPeakRate),
    skip(2), custom("Smoothing_rate", "22 bit", 22, fmt::partialSmoothingRate),
    skip(2), custom("Smoothing_buf", "14 bit", 14, fmt::partialSmoothingBuffer),
};

constexpr FieldRow kDataBroadcast[] = {
    num("Data_broadcast_id", "16 bit", 16, "0x%04x (数据广播标识符)"),
    num("Component_tag", "8 bit", 8, "0x%02x "),
    num("Selector_length", "8 bit", 8, "%d 字节 "),
};

constexpr FieldRow kDataBroadcastId[] = {
    num("Data_broadcast_id", "16 bit", 16, "0x%04x (数据广播标识符)"),
};

constexpr DescriptorTable kDvbTables[] = {
    {0x40, "Network Name Descriptor(网络名称描述符)", kNetworkName},
    {0x41, "Service List Descriptor(业务列表描述符)", kServiceList},
    {0x42, "Stuffing Descriptor(填充描述符)", kStuffing},
    {0x43, "Satellite Delivery System Descriptor(卫星传送系统描述符)", kSatelliteDelivery},
    {0x44, "Cable Delivery System Descriptor(有线传送系统描述符)", kCableDelivery},
    {0x47, "Bouquet Name Descriptor(业务群名称描述符)", kBouquetName},
    {0x48, "Service Descriptor(业务描述符)", kService},
    {0x49, "Country Availability Descriptor(国家/地区业务准用描述符)", kCountryAvailability},
    {0x4a, "Linkage Descriptor(链接描述符)", kLinkage},
    {0x4b, "NVOD Reference Descriptor(准视频点播(NVOD)参考描述符)", kNvodReference},
    {0x4c, "Time Shifted Service Descriptor(时移业务描述符)", kTimeShiftedService},
    {0x4d, "Short Event Descriptor(短事件描述符)", kShortEvent},
    {0x4e, "Extended Event Descriptor(扩展事件描述符)", kExtendedEvent},
    {0x4f, "\tTime Shifted Event Descriptor(时移事件描述符)", kTimeShiftedEvent},
    {0x50, "Component Descriptor(组件描述符)", kComponent},
    {0x51, "Mosaic Descriptor(马赛克描述符)", kMosaic},
    {0x52, "Stream Identifier Descriptor(流标识描述符)", kStreamIdentifier},
    {0x53, "CA Identifier Descriptor(条件接收(CA)标识描述符)", kCaIdentifier},
    {0x54, "Content Descriptor(内容描述符)", kContent},
    {0x55, "Parental Rating Descriptor(家长分级描述符)", kParentalRating},
    {0x56, "Teletext Descriptor(图文电视描述符)", kTeletext},
    {0x57, "Telephone Descriptor(电话描述符)", kTelephone},
    {0x58, "Local Time Offset Descriptor(本地时间偏移描述符)", kLocalTimeOffset},
    {0x59, "Subtitling Descriptor(字幕描述符)", kSubtitling},
    {0x5a, "Terrestrial Delivery System Descriptor(地面传送系统描述符)", kTerrestrialDelivery},
    {0x5b, "Multilingual Network Name Descriptor(多语种网络名称描述符)", kMultilingualNetworkName},
    {0x5c, "Multilingual Bouquet Name Descriptor(多语种业务群名称描述符)",
     kMultilingualBouquetName},
    {0x5d, "Multilingual Service Name Descriptor(多语种业务名称描述符)", kMultilingualServiceName},
    {0x5e, "Multilingual Component Descriptor(多语种组件描述符)", kMultilingualComponent},
    {0x5f, "Private Data Specifier Descriptor(专用数据说明描述符)", kPrivateDataSpecifier},
    {0x60, "Service Move Descriptor(业务转移描述符)", kServiceMove},
    {0x61, "Short Smoothing Buffer Descriptor(短平滑缓冲区描述符)", kShortSmoothingBuffer},
    {0x62, "Frequency List Descriptor(频率列表描述符)", kFrequencyList},
    {0x63, "Partial Transport Stream Descriptor(TS片断描述符)", kPartialTransportStream},
    {0x64, "Data Broadcast Descriptor(数据广播描述符)", kDataBroadcast},
    {0x66, "Data Broadcast ID Descriptor(数据广播标识描述符)", kDataBroadcastId},
};

}  // namespace

std::span<const DescriptorTable> dvbDescriptorTables() {
    return kDvbTables;
}

}  // namespace orv
