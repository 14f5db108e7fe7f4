// Keeps a series of any length in bounded memory for drawing: consecutive points share a bucket
// that remembers its lowest and highest point, and when the buckets run out, neighbours merge and
// every bucket covers twice as many points. A spike anywhere in a run of hours stays visible.
#pragma once

#include <cstddef>
#include <vector>

#include "presentation/svg_chart.h"

namespace orv {

class SeriesReducer {
  public:
    explicit SeriesReducer(std::size_t buckets = 2048) : capacity_(buckets < 2 ? 2 : buckets) {
        buckets_.reserve(capacity_);  // nothing is allocated while points arrive
    }

    void add(double x, double y) {
        if (buckets_.empty() || buckets_.back().count == width_) {
            if (buckets_.size() == capacity_) merge();
            buckets_.push_back({{x, y}, {x, y}, 0});
        }
        Bucket& b = buckets_.back();
        if (y < b.low.y) b.low = {x, y};
        if (y > b.high.y) b.high = {x, y};
        ++b.count;
    }

    std::size_t bucketWidth() const { return width_; }

    // The kept points in order: each bucket's lowest and highest.
    ChartSeries series(std::string name) const {
        ChartSeries s{std::move(name), {}, {}};
        for (const Bucket& b : buckets_) {
            const bool lowFirst = b.low.x <= b.high.x;
            const Point& a = lowFirst ? b.low : b.high;
            const Point& z = lowFirst ? b.high : b.low;
            s.x.push_back(a.x);
            s.y.push_back(a.y);
            if (z.x != a.x || z.y != a.y) {
                s.x.push_back(z.x);
                s.y.push_back(z.y);
            }
        }
        return s;
    }

  private:
    struct Point {
        double x, y;
    };
    struct Bucket {
        Point low, high;
        std::size_t count;
    };

    void merge() {
        std::size_t out = 0;
        for (std::size_t i = 0; i < buckets_.size(); i += 2, ++out) {
            Bucket b = buckets_[i];
            if (i + 1 < buckets_.size()) {
                const Bucket& n = buckets_[i + 1];
                if (n.low.y < b.low.y) b.low = n.low;
                if (n.high.y > b.high.y) b.high = n.high;
                b.count += n.count;
            }
            buckets_[out] = b;
        }
        buckets_.resize(out);
        width_ *= 2;
    }

    std::size_t capacity_;
    std::size_t width_ = 1;
    std::vector<Bucket> buckets_;
};

}  // namespace orv
