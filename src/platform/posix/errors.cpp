// errno to runtime errors, in one place.
#include <cerrno>

#include "core/caught.h"
#include "platform/posix/posix_platform.h"

namespace tarnwick {

Error errorFromErrno(int error) {
    switch (error) {
        case ENOENT:
            return Error(errors::FileNotFound);
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return Error(errors::PathNotFound);
        case EACCES:
        case EPERM:
            return Error(errors::PermissionDenied);
        case EROFS:
        case EISDIR:
        case EBUSY:
        case ETXTBSY:
        case EEXIST:
            return Error(errors::PathFileAccessError);
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return Error(errors::DiskFull);
        case EIO:
            return Error(errors::DeviceIOError);
        case ENXIO:
        case ENODEV:
            return Error(errors::DeviceUnavailable);
        case ENOMEM:
            return Error(errors::OutOfMemory);
        case EMFILE:
        case ENFILE:
            return Error(errors::TooManyFiles);
        default:
            return Error(errors::InvalidProcedureCall);
    }
}

}  // namespace tarnwick
