#include "chart/recording_device_context.h"

namespace orvik {

RecordingDeviceContext::Call& RecordingDeviceContext::Add(Kind kind) {
    calls_.push_back(Call{});
    calls_.back().What = kind;
    return calls_.back();
}

std::vector<RecordingDeviceContext::Call> RecordingDeviceContext::CallsOf(Kind kind) const {
    std::vector<Call> found;
    for (const Call& call : calls_) {
        if (call.What == kind) {
            found.push_back(call);
        }
    }
    return found;
}

std::vector<RecordingDeviceContext::Call> RecordingDeviceContext::TextCalls(
    std::string_view text) const {
    std::vector<Call> found;
    for (const Call& call : calls_) {
        if (call.What == Kind::Text && call.Text == text) {
            found.push_back(call);
        }
    }
    return found;
}

void RecordingDeviceContext::SetLogicalScale(double scaleX, double scaleY) {
    scaleX_ = scaleX;
    scaleY_ = scaleY;
}

void RecordingDeviceContext::DrawLine(PixelPoint from, PixelPoint to, const ChartPen& pen) {
    Call& call = Add(Kind::Line);
    call.Points = {from, to};
    call.Pen = pen;
}

void RecordingDeviceContext::DrawPolyline(std::span<const PixelPoint> points, const ChartPen& pen) {
    Call& call = Add(Kind::Polyline);
    call.Points.assign(points.begin(), points.end());
    call.Pen = pen;
}

void RecordingDeviceContext::FillRect(const PixelRect& rect, ChartColour colour) {
    Call& call = Add(Kind::FillRect);
    call.Rect = rect;
    call.Colour = colour;
}

void RecordingDeviceContext::FillPolygon(std::span<const PixelPoint> points,
                                         const ChartBrush& brush, FillMix mix) {
    Call& call = Add(Kind::FillPolygon);
    call.Points.assign(points.begin(), points.end());
    call.Brush = brush;
    call.Mix = mix;
}

void RecordingDeviceContext::DrawRect(const PixelRect& rect, const ChartPen& pen,
                                      const std::optional<ChartBrush>& fill) {
    Call& call = Add(Kind::Rect);
    call.Rect = rect;
    call.Pen = pen;
    call.Brush = fill;
}

void RecordingDeviceContext::DrawEllipse(const PixelRect& rect, const ChartPen& pen,
                                         const std::optional<ChartBrush>& fill) {
    Call& call = Add(Kind::Ellipse);
    call.Rect = rect;
    call.Pen = pen;
    call.Brush = fill;
}

TextExtent RecordingDeviceContext::MeasureText(const ChartFont& font, std::string_view text) {
    const std::int32_t charWidth = std::max(1, font.Height / 2);
    return {static_cast<std::int32_t>(text.size()) * charWidth, font.Height};
}

void RecordingDeviceContext::DrawText(const ChartFont& font, std::string_view text,
                                      const PixelRect& rect, int format, ChartColour colour,
                                      const std::optional<ChartColour>& background) {
    Call& call = Add(Kind::Text);
    call.Font = font;
    call.Text = std::string(text);
    call.Rect = rect;
    call.Format = format;
    call.Colour = colour;
    call.Background = background;
}

void RecordingDeviceContext::SetClip(const PixelRect& rect) {
    Call& call = Add(Kind::Clip);
    call.Rect = rect;
}

void RecordingDeviceContext::ClearClip() {
    Add(Kind::ClearClip);
}

}  // namespace orvik
