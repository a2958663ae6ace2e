// The one reading of an exception in flight, for every frame that reports
// errors instead of letting them escape.
#include "core/caught.h"

#include <exception>
#include <new>

namespace tarnwick {

Error caughtError() {
    try {
        throw;
    } catch (const Error& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return Error(errors::OutOfMemory);
    } catch (const std::exception& e) {
        return Error(errors::InternalError, u"Internal error: " + fromUtf8(e.what()));
    } catch (...) {
        return Error(errors::InternalError, u"Internal error");
    }
}

}  // namespace tarnwick
