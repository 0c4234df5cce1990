// Creating and releasing deformation grids.
#include <cstddef>
#include <cstdint>
#include <new>

#include "gridmap/gridmap.h"

DeformGrid* createDeformGrid(int32_t width, int32_t height) {
    if (width < 0 || height < 0) return nullptr;
    const int32_t rows = (height >> 3) + 1;
    const int32_t columns = (width >> 3) + 1;
    // The generators and mapper index nodes with products of rows and columns; keeping the count
    // within int32 keeps every such product defined.
    const int64_t count = int64_t{rows} * columns;
    if (count > INT32_MAX) return nullptr;

    DeformGrid* grid = new (std::nothrow) DeformGrid{rows, columns, nullptr};
    if (grid == nullptr) return nullptr;
    // Left uninitialised on purpose: gridSetPlane overwrites every node before first use.
    grid->nodes = new (std::nothrow) GridNode[static_cast<size_t>(count)];
    if (grid->nodes == nullptr) {
        delete grid;
        return nullptr;
    }
    return grid;
}

void releaseDeformGrid(DeformGrid* grid) {
    if (grid == nullptr) return;
    delete[] grid->nodes;
    grid->nodes = nullptr;
    grid->rows = 0;
    grid->columns = 0;
}

bool gridAddNodes(DeformGrid* grid, const DeformGrid* offsets) {
    if (grid == nullptr || offsets == nullptr || grid->nodes == nullptr ||
        offsets->nodes == nullptr) {
        return false;
    }
    if (grid->rows != offsets->rows || grid->columns != offsets->columns) return false;
    // Unsigned sums wrap as the generators' additions do.
    auto add = [](int32_t& to, int32_t from) {
        to = static_cast<int32_t>(static_cast<uint32_t>(to) + static_cast<uint32_t>(from));
    };
    const ptrdiff_t count = ptrdiff_t{grid->rows} * grid->columns;
    for (ptrdiff_t n = 0; n < count; ++n) {
        add(grid->nodes[n].u, offsets->nodes[n].u);
        add(grid->nodes[n].v, offsets->nodes[n].v);
    }
    return true;
}
