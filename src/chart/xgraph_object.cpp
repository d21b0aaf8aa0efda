#include "chart/xgraph_object.h"

namespace orvik {

void CXGraphObject::Draw(ChartDeviceContext&) {}

}  // namespace orvik
