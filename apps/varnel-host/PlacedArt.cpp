#include "PlacedArt.h"

#include <cmath>
#include <stdexcept>

#include "DocumentStore.h"
#include "Handles.h"
#include "HostError.h"
#include "RegularFile.h"
#include "pdf/PlacedPage.h"

namespace vhost {

Art placePdf(const Document& doc, const std::string& path) {
    const std::string file = absolutePath(path);
    auto bytes = std::make_shared<const std::string>(readRegularFile(file, kMaxPlacedBytes));
    pdf::PageSize size;
    try {
        size = pdf::PlacedSource(bytes, file).size();
    } catch (const std::runtime_error& e) {
        throw HostError(kCantOpenFileErr, e.what());
    }
    // At its natural size, centred on the first artboard: the art lands where a person looks
    // first and as large as it was drawn; a page larger than the artboard overhangs it evenly.
    // The corner snaps to an eighth of a point, far below what an eye sees, so that the bounds
    // hold the page's size exactly and read as short numbers.
    const AIRealRect& board = doc.artboards.at(0);
    const auto snap = [](double v) { return std::round(v * 8) / 8; };
    const double left = snap(board.left + (board.right - board.left - size.width) / 2);
    const double bottom = snap(board.bottom + (board.top - board.bottom - size.height) / 2);
    Art art;
    art.id = newId();
    art.type = kPlacedArt;
    art.placement =
        Placement{file, std::move(bytes), {left, bottom + size.height, left + size.width, bottom}};
    return art;
}

void checkPlaceable(const std::shared_ptr<const std::string>& pdf, const std::string& source) {
    pdf::PlacedSource opened(pdf, source);
}

}  // namespace vhost
