#include "engine/si_section_store.h"

namespace orv {

bool IsKnownCrc(uint32_t crc, const uint32_t* list, int count) {
    if (list == nullptr || count < 1) return false;
    for (int i = 0; i < count; ++i)
        if (list[i] == crc) return true;
    return false;
}

EitClass ClassifyEitSection(const SiSectionStore& store, unsigned tableId, unsigned serviceId,
                            unsigned sectionNumber, unsigned transportStreamId,
                            unsigned originalNetworkId, uint32_t crc) {
    bool sameService = false, sameNumber = false, sameCrc = false;
    if (const EitSectionList* list = store.eitList(tableId)) {
        for (const StoredEitSection& e : list->entries) {
            const EitHeaderRecord& h = e.header;
            if (h.serviceId != serviceId || h.transportStreamId != transportStreamId ||
                h.originalNetworkId != originalNetworkId)
                continue;
            sameService = true;
            sameNumber = sameNumber || h.sectionNumber == sectionNumber;
            sameCrc = sameCrc || h.crc32 == crc;
        }
    }
    if (!sameService) return sectionNumber == 0 ? EitClass::New : EitClass::Held;
    if (!sameNumber && !sameCrc) return EitClass::New;
    if (sectionNumber != 0) return EitClass::Held;
    return sameCrc ? EitClass::Held : EitClass::NewVersion;
}

}  // namespace orv
