#include "SignatureFaultText.h"

std::string SignatureFaultText(const PayloadEnd& found, uint32_t fileSize, uint32_t payloadStart) {
    const std::string table = "the signature table at offset " +
                              std::to_string(found.signatureOffset) + " (" +
                              std::to_string(found.signatureSize) + " bytes) ";
    const std::string file = " (" + std::to_string(fileSize) + " bytes)";
    switch (found.fault) {
    case SignatureFault::None: return {};
    case SignatureFault::ZeroSize:
        return "the signature table at offset " + std::to_string(found.signatureOffset) +
               " is empty (its size is 0)";
    case SignatureFault::OutsideFile: return table + "lies outside the file" + file;
    case SignatureFault::PastEnd: return table + "runs past the end of the file" + file;
    case SignatureFault::OverlapsArchive:
        return table + "lies before or inside the archive, which begins at offset " +
               std::to_string(payloadStart);
    case SignatureFault::NotAtEnd: return table + "ends before the end of the file" + file;
    }
    return {};
}
