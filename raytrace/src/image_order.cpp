#include "raytrace/image_order.h"

ImageOrder::ImageOrder(int w, int h) : w_(w), h_(h), side_(2)
{
    int m = w > h ? w : h;
    while (side_ < m && side_ < (1 << 30)) side_ <<= 1;
    total_ = (w < 1 || h < 1) ? 0 : int64_t(side_) * side_;
}

bool ImageOrder::next(int &x, int &y)
{
    while (index_ < total_) {
        // Distance along the curve to cell, by quadrants from the smallest up.
        int64_t t = index_++;
        int cx = 0, cy = 0;
        for (int s = 1; s < side_; s <<= 1) {
            int rx = int(1 & (t / 2));
            int ry = int(1 & (t ^ rx));
            if (ry == 0) {
                if (rx == 1) {
                    cx = s - 1 - cx;
                    cy = s - 1 - cy;
                }
                int tmp = cx;
                cx = cy;
                cy = tmp;
            }
            cx += s * rx;
            cy += s * ry;
            t /= 4;
        }
        if (cx < w_ && cy < h_) {
            x = cx;
            y = cy;
            return true;
        }
        // The curve fills each aligned 2^b square in one run of 4^b cells:
        // skip the largest such run starting here that lies wholly outside.
        const int64_t at = index_ - 1;
        for (int b = 30; b > 0; --b) {
            const int64_t run = int64_t(1) << (2 * b);
            if (run > total_ || (at & (run - 1)) != 0) continue;
            const int mask = ~((1 << b) - 1);
            if ((cx & mask) >= w_ || (cy & mask) >= h_) {
                index_ = at + run;
                break;
            }
        }
    }
    return false;
}
