#include "module/served_classes.h"

#include "admin/administrator.h"
#include "module/module_ids.h"
#include "module/served_object.h"
#include "wbem_provider/wbem_provider.h"

namespace quillmere {

static_assert(std::tuple_size_v<decltype(kServedClasses)> <= kMaxServedClasses);

const std::array<ServedClass, 2> kServedClasses = {{
    {__uuidof(Administer), OLESTR("Administer"),
     &CServedObject<CAdministrator, IAdminister>::Create, 203},
    {__uuidof(WbemProvider), OLESTR("WbemProvider"),
     &CServedObject<CWbemProvider, IWbemProvider>::Create, 204},
}};

}  // namespace quillmere
