#pragma once

namespace sondralis {

// The two ways of tracing contour lines: on the depth picture's pixels (the
// classic tracer, MovingSquares) or on the depths themselves (the chart
// tracer, ChartTracer).
enum class TContourTracer { Pixel, Chart };

}  // namespace sondralis
