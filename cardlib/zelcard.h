// Zelcard: the card access library of the capture hardware (a PCI card with ASI and CABLE/QAM
// inputs and a transmit output, or a USB box with a built-in QAM demodulator). Cards are numbered
// 0 to 9. Functions returning long give 0 for success and a negative code for a failure; the
// reads and writes return a signed 64-bit count of 40-packet blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(ZELCARD_BUILD)
#define ZEL_API __attribute__((visibility("default")))
#else
#define ZEL_API
#endif

// A handle of the library's device layer (events of hZelCardEvent among them).
typedef std::uint32_t ZelHandle;

// One FIFO of a card: five 32-bit words. The counters and entries are memory tokens of the device
// layer standing where the Windows driver put 32-bit addresses.
struct Infifo {
    std::uint32_t param;         // the FIFO's set-up argument, handed to the driver
    std::uint32_t entryCount;    // entries in the ring
    std::uint32_t readCounter;   // 64-bit count of entries consumed
    std::uint32_t writeCounter;  // 64-bit count of entries produced
    std::uint32_t entries;       // entryCount tokens, one per entry buffer
};
static_assert(sizeof(Infifo) == 20);

// Six event handles of a card: slot 1 is signalled when received data is ready; slot 3 is a
// manual-reset event, the others reset automatically. A program waits on them through
// ZelGetCardEventFd and ZelWaitCardEvent.
struct CardEvent {
    ZelHandle slot[6];
};
static_assert(sizeof(CardEvent) == 24);

// One QAM information packet of the USB stream, decoded.
struct ExtraDataInTs {
    std::uint8_t statusByte;
    bool statusFlag;
    std::uint8_t unused0[2];
    float errorRatio;
    std::uint32_t statusCode;
    float offsetValue;
    float scaledValue;
    float levelDbuv;
    float qualityDb;
    std::uint8_t rawTail[20];
    std::uint8_t rawRatio[4];
    std::uint8_t rawCodes[3];
    std::uint8_t rawLevel[2];
    std::uint8_t rawQuality;
    std::uint8_t unused1[118];
};
static_assert(sizeof(bool) == 1);
static_assert(sizeof(ExtraDataInTs) == 176);
static_assert(offsetof(ExtraDataInTs, statusFlag) == 1);
static_assert(offsetof(ExtraDataInTs, errorRatio) == 4);
static_assert(offsetof(ExtraDataInTs, statusCode) == 8);
static_assert(offsetof(ExtraDataInTs, offsetValue) == 12);
static_assert(offsetof(ExtraDataInTs, scaledValue) == 16);
static_assert(offsetof(ExtraDataInTs, levelDbuv) == 20);
static_assert(offsetof(ExtraDataInTs, qualityDb) == 24);
static_assert(offsetof(ExtraDataInTs, rawTail) == 28);
static_assert(offsetof(ExtraDataInTs, rawRatio) == 48);
static_assert(offsetof(ExtraDataInTs, rawCodes) == 52);
static_assert(offsetof(ExtraDataInTs, rawLevel) == 55);
static_assert(offsetof(ExtraDataInTs, rawQuality) == 57);

// The USB box's channel status.
struct CurChannelParameter {
    std::uint32_t tunerLocked;
    std::uint32_t carrierLocked;
    std::uint32_t frameLocked;
    float errorRatio;
    std::uint32_t statusCode;
    float offsetValue;
    float scaledValue;
    float levelDbuv;
    float qualityDb;
    std::uint8_t rawRatio[4];   // status bytes 4, 3, 2, 1
    std::uint8_t rawStatus[6];  // status bytes 5 to 10
};
static_assert(sizeof(CurChannelParameter) == 48);
static_assert(offsetof(CurChannelParameter, errorRatio) == 12);
static_assert(offsetof(CurChannelParameter, statusCode) == 16);
static_assert(offsetof(CurChannelParameter, levelDbuv) == 28);
static_assert(offsetof(CurChannelParameter, qualityDb) == 32);
static_assert(offsetof(CurChannelParameter, rawRatio) == 36);
static_assert(offsetof(CurChannelParameter, rawStatus) == 40);

extern "C" {

ZEL_API extern Infifo ZelReceiveFifo[10];
ZEL_API extern Infifo ZelTransmitFifo[10];
// Per card: the timing values parallel to the receive ring (27 MHz ticks over ten blocks, minus
// one).
ZEL_API extern std::uint32_t* BitRateFifo[10];
ZEL_API extern CardEvent hZelCardEvent[10];
ZEL_API extern long lZelCardNumber;

// Linux addition: waiting on a card's events. The handles in hZelCardEvent belong to the library
// and cannot be waited on from outside it; these two functions stand in for the system wait.
// Slots as in CardEvent: slot 1 is the receive-data event (set by the driver each time received
// data is ready; auto-reset), slot 3 is manual-reset, the others are auto-reset. The events exist
// from ZelInitFifo on (on the USB box only slot 1, the driver's named event); a ZelInitFifo of
// the card replaces them.
//
// ZelGetCardEventFd gives a new descriptor (close-on-exec) that poll(2)/epoll report readable
// (POLLIN) while the event is signalled, so a reader can wait on the card together with
// descriptors of its own (a stop request, a socket). Readiness does not reset the event: after
// poll reports it, take the signal with ZelWaitCardEvent(slot, 0, card), which resets an
// auto-reset event; 1 from it means another waiter took the signal first. Do not read from the
// descriptor (a read would hide the signal until the next set). The descriptor is the caller's:
// close(2) it when done. It follows the event it was made for; after a new ZelInitFifo ask for
// a new one (the old one stays valid but is never signalled again).
//   Result: the descriptor (>= 0); -1 card above 9 or slot above 5; -2 no event in that slot (no
//   FIFO set up, or the driver refused the event); -3 the system gave no descriptor (errno).
//
// ZelWaitCardEvent waits up to timeoutMs (0xFFFFFFFF: no limit) for the event, as
// WaitForSingleObject did; an auto-reset event is reset by the wait that takes it.
//   Result: 0 signalled; 1 timed out; -1 card above 9 or slot above 5; -2 no event in that slot.
//
// Both may be called from any thread, several at once, also while another thread reads the card;
// not while another thread runs ZelInitFifo on the same card (which replaces the events).
ZEL_API long ZelGetCardEventFd(unsigned slot, unsigned card);
ZEL_API long ZelWaitCardEvent(unsigned slot, unsigned long timeoutMs, unsigned card);

// Initialisation and tuner.
ZEL_API long ZelResetCard(unsigned card);
ZEL_API long ZelInitCard(unsigned inputSelect, unsigned plainStream, unsigned output204,
                         unsigned portCode, unsigned long rateWord, unsigned long frequencyKHz,
                         unsigned long symbolRateK, unsigned qamIndex, unsigned card);
ZEL_API long ZelInitCard2(unsigned inputSelect, unsigned plainStream, unsigned output204,
                          unsigned portCode, unsigned long rateWord, unsigned long frequencyKHz,
                          unsigned long symbolRateK, unsigned qamIndex, unsigned card,
                          unsigned retuneOnly);
ZEL_API long ZelSetParameterToQAM(unsigned, unsigned, unsigned long word10, unsigned modeCode,
                                  unsigned flag0, unsigned flag1, unsigned long word2,
                                  unsigned long word6, unsigned byte14, unsigned card);
ZEL_API void ZelSetCurSelQamMode(unsigned code);
ZEL_API unsigned ZelGetCurSelQamMode();

// Receive FIFO and stream reading.
ZEL_API long ZelInitFifo(unsigned long rxEntries, unsigned long txEntries, unsigned long rxParam,
                         unsigned long txParam, unsigned card);
ZEL_API long ZelStartReceive(unsigned card);
ZEL_API long ZelStopReTran(unsigned card);
ZEL_API long long ZelReadData(void* buffer, void* rates, unsigned long blocks, unsigned card);
ZEL_API long long ZelReadData2(void* buffer, void* rates, ExtraDataInTs* records,
                               unsigned& recordCount, unsigned long blocks, unsigned card);
ZEL_API long ZelGetInputPacketLen(bool* is188, unsigned card);
ZEL_API long ZelGetInputBitrates(double* mbps, unsigned card);

// Measurements, transmit and library information.
ZEL_API long ZelGetQAM_BER(float* ber, unsigned card);
ZEL_API long ZelGetQAM_AGC(int* agc, unsigned card);
ZEL_API long ZelGetQAM_SignalQuality(int* quality, unsigned card);
ZEL_API long ZelGetQAM_CurChannelParameter(CurChannelParameter* parameter, unsigned card);
ZEL_API long long ZelReadXingzuotuData(void* buffer, unsigned long& size, unsigned card);
ZEL_API long ZelStartTransmit(unsigned card);
ZEL_API long long ZelWriteData(void* blocks, unsigned long count, unsigned card);
ZEL_API long ZelSetReceivePidFilter(unsigned short count, unsigned short* pids, unsigned card);
ZEL_API long ZelGetDllVersionForRivudUsb(char* buffer);

// Linux addition: the library's messages (UTF-8) go to this function instead of stderr; null
// restores stderr. A program that shows message boxes installs its own here.
typedef void (*ZelMessageHook)(const char* utf8);
ZEL_API void ZelSetMessageHook(ZelMessageHook hook);

}  // extern "C"
