// Descriptor tables of ISO/IEC 13818-1, tags 0x02..0x12.
#include "presentation/descriptor_catalogue.h"
#include "presentation/descriptor_formatters.h"
#include "presentation/descriptor_row_builders.h"

namespace orv {
namespace {

using namespace row;

constexpr ValueText kMultipleFrameRate[] = {{1, "1   (可能出现多种帧速率)"},
                                            {0, "0   (仅出现1种帧速率)"}};
constexpr ValueText kFrameRate[] = {
    {3, "3\t(25 帧/秒)"},    {1, "1\t(23.976 帧/秒)"}, {2, "2\t(24 帧/秒)"},
    {4, "4\t(29.97 帧/秒)"}, {5, "5\t(30 帧/秒)"},     {6, "6\t(50 帧/秒)"},
    {7, "7\t(59.94 帧/秒)"}, {8, "8\t(60 帧/秒)"},     {0, "0\t(禁止)"}};
// The flag is set for a stream of ISO/IEC 11172-2 video only; clear, both kinds may occur.
constexpr ValueText kMpeg2Flag[] = {{1, "1   (MPEG-2 视频)"}, {0, "0   (可含MPEG-1及MPEG-2 视频)"}};
constexpr ValueText kStillPicture[] = {{1, "1\t(视频流仅含静止图像)"},
                                       {0, "0\t(视频流含动画或静止图像)"}};
constexpr FieldRow kVideoStream[] = {
    coded("Multiple_frame_rate_flag", "1 bit", 1, kMultipleFrameRate),
    coded("Frame_rate_code", "4 bit", 4, kFrameRate, "%d\t(保留)"),
    coded("MPEG_2_flag", "1 bit", 1, kMpeg2Flag),
    withHead(num("Constrained_parameter_flag", "1 bit", 1),
             "\tConstrained_parameter_flag\t\t1 bit\t\t\t"),
    withHead(coded("Still_picture_flag", "1 bit", 1, kStillPicture),
             "\tStill_picture_flag\t\t\t1 bit\t\t\t"),
    num("Profile_and_level_indicatio", "8 bit", 8, "0x%02x"),
    num("Chroma_format", "2 bit", 2),
    num("Frame_rate_extension_flag", "1 bit", 1),
    skip(5),
};

constexpr ValueText kLayer[] = {
    {2, "2   (II层)"}, {1, "1   (III层)"}, {3, "3   (I层)"}, {0, "0   (保留)"}};
constexpr FieldRow kAudioStream[] = {
    num("Free_format_flag", "1 bit", 1),
    num("ID", "1 bit", 1),
    coded("Layer", "2 bit", 2, kLayer),
    skip(4),
};

constexpr ValueText kHierarchyType[] = {
    {1, "1   (13818-2 空域分层)"}, {2, "2   (13818-2 SNR分层)"},    {3, "3   (13818-2 时域分层)"},
    {4, "4   (13818-2 数据分割)"}, {5, "5   (13818-2 扩展比特流)"}, {15, "15  (基层)"}};
constexpr FieldRow kHierarchy[] = {
    skip(4), coded("Hierarchy_type", "4 bit", 4, kHierarchyType, "%d   (保留)"),
    skip(2), num("Hierarchy_layer_index", "6 bit", 6),
    skip(2), num("Hierarchy_embedded_layer", "6 bit", 6),
    skip(2), num("Hierarchy_priority", "6 bit", 6),
};

constexpr FieldRow kRegistration[] = {
    num("Format_identifier", "32 bit", 32, "0x%08x"),
    withHead(codes("Additional_identification_info", -1),
             "   Additional_identification_info %d char      "),
};

constexpr FieldRow kDataStreamAlignment[] = {
    num("Alignment_type", "8 bit", 8, "0x%02x"),
};

constexpr ValueText kPelAspectRatio[] = {
    {2, "2   (4 : 3)"}, {3, "3   (16 : 9)"}, {4, "4   (2.21 : 1)"}};
constexpr FieldRow kTargetBackgroundGrid[] = {
    num("Horizontal_size", "14 bit", 14, "%d (象素)"),
    num("Vertical_size", "14 bit", 14, "%d (象素)"),
    coded("Pel_aspect_ratio", "4 bit", 4, kPelAspectRatio, "%d   (保留)"),
};

constexpr FieldRow kVideoWindow[] = {
    num("Horizontal_offset", "14 bit", 14),
    num("Vertical_offset", "14 bit", 14),
    num("Window_priority", "4 bit", 4),
};

constexpr FieldRow kCa[] = {
    num("CA_System_ID", "16 bit", 16, "0x%04x"),    fixed("reserved", "3 bit", 3, "7"),
    num("CA_PID", "13 bit", 13, "0x%04x"),          loop(1),
    num("Private_data_byte", "8 bit", 8, "0x%02x"),
};

constexpr ValueText kAudioType[] = {
    {1, "0x01   (清晰)"}, {2, "0x02   (听力削弱)"}, {3, "0x03   (Visual Impaired Commentary)"}};
constexpr FieldRow kIso639Language[] = {
    loop(2),
    chars("ISO_639_language_code", "32 bit"),
    coded("Audio_type", "8 bit", 8, kAudioType, "0x%02x   (保留)"),
};

constexpr FieldRow kSystemClock[] = {
    withHead(num("External_clock_reference_indicator", "1 bit", 1),
             "   External_clock_reference_indicator   1 bit  "),
    fixed("reserved", "1 bit", 1, "1"),
    num("Clock_accuracy_integer", "6 bit", 6),
    num("Clock_accuracy_exponent", "3 bit", 3),
    skip(5),
};

constexpr FieldRow kMultiplexBufferUtilization[] = {
    num("Mdv_valid_flag", "1 bit", 1),
    num("Multiplex_delay_variation", "15 bit", 15),
    num("Mulitplex_strategy", "3 bit", 3),
    fixed("reserved", "5 bit", 5, "0x1f"),
};

constexpr FieldRow kCopyright[] = {
    num("Copyright_identifier", "32 bit", 32, "0x%08x"),
    codes("Additional_copyright_info", -1),
};

constexpr FieldRow kMaximumBitrate[] = {
    fixed("reserved", "2 bit", 2, "3"),
    custom("Maximum_bitrate", "22 bit", 22, fmt::maximumBitrate),
};

constexpr FieldRow kPrivateDataIndicator[] = {
    num("Private_data_indicator", "32 bit", 32, "0x%08x"),
};

// The leak rate has the units of the maximum bitrate.
constexpr FieldRow kSmoothingBuffer[] = {
    skip(2),
    custom("SB_leak_rate", "24 bit", 22, fmt::maximumBitrate),
    skip(2),
    num("SB_size", "24 bit", 22, "%d Byte"),
};

constexpr FieldRow kStd[] = {
    skip(7),
    num("Leak_valid_flag", "1 bit", 1),
};

constexpr FieldRow kIbp[] = {
    num("Close_gop_flag", "1 bit", 1),
    num("Identical_gop_flag", "1 bit", 1),
    num("Max_gop_length", "14 bit", 14),
};

constexpr DescriptorTable kMpegTables[] = {
    {0x02, "Video Stream Descriptor(视频流描述符)", kVideoStream},
    {0x03, "Audio Stream Descriptor(音频流描述符)", kAudioStream},
    {0x04, "Hierarchy Descriptor(分层描述符)", kHierarchy},
    {0x05, "Registration Descriptor(注册描述符)", kRegistration},
    {0x06, "Data Stream Alignment Descriptor(数据流对准描述符)", kDataStreamAlignment},
    {0x07, "Target Background Grid Descriptor(目标背景栅格描述符)", kTargetBackgroundGrid},
    {0x08, "Video Window Descriptor(视频窗口描述符)", kVideoWindow},
    {0x09, "CA Descriptor(条件访问描述符)", kCa},
    {0x0a, "ISO 639 Language Descriptor(ISO 639语言描述符)", kIso639Language},
    {0x0b, "System Clock Descriptor(系统时钟描述符)", kSystemClock},
    {0x0c, "Multiplex Buffer Utilization Descriptor(多路复用缓冲器使用描述符)",
     kMultiplexBufferUtilization},
    {0x0d, "Copyright Descriptor(版权描述符)", kCopyright},
    {0x0e, "Maximum Bitrate Descriptor(最大比特率描述符)", kMaximumBitrate},
    {0x0f, "Private Data Indicator Descriptor(私用数据指示器描述符)", kPrivateDataIndicator},
    {0x10, "Smoothing Buffer Descriptor(滤波缓冲器描述符)", kSmoothingBuffer},
    {0x11, "STD Descriptor(标准解码器描述符)", kStd},
    {0x12, "IBP Descriptor(IBP帧描述子)", kIbp},
};

}  // namespace

std::span<const DescriptorTable> mpegDescriptorTables() {
    return kMpegTables;
}

}  // namespace orv
