#include "ui/controls/RegisterControls.h"

#include "ui/controls/CCircleProgressUI.h"
#include "ui/controls/CDPIEditUI.h"
#include "ui/controls/CDeviceKeyButtonUI.h"
#include "ui/controls/CDeviceOptionUI.h"
#include "ui/controls/CDeviceProfileUI.h"
#include "ui/controls/CMpDevicePowerUI.h"
#include "ui/controls/CSelectPanelUI.h"
#include "ui/framework/CControlFactory.h"

namespace q417::ui {

void RegisterControls() {
    // The registry's order is the one the skin tools list the classes in.
    RegisterControlClass<CCircleProgressUI>("CCircleProgressUI");
    RegisterControlClass<CSelectPanelUI>("CSelectPanelUI");
    RegisterControlClass<CDeviceKeyButtonUI>("CDeviceKeyButtonUI");
    RegisterControlClass<CDeviceOptionUI>("CDeviceOptionUI");
    RegisterControlClass<CMpDevicePowerUI>("CMpDevicePowerUI");
    RegisterControlClass<CDeviceProfileUI>("CDeviceProfileUI");
    RegisterControlClass<CDPIEditUI>("CDPIEditUI");
}

}  // namespace q417::ui
