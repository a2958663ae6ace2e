// errno to runtime errors and existence codes: the one table of the Linux
// backend, with the readings of the calls that need their own.
#include <cerrno>

#include "core/caught.h"
#include "platform/files.h"
#include "platform/posix/posix_platform.h"

namespace tarnwick {

namespace {

Error generalReading(int error) {
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

// A file that may not be opened so (read-only, a folder, a program being
// run) is 75, as the runtime's own file statements report it.
Error openReading(int error) {
    switch (error) {
        case ENOENT:
            return Error(errors::FileNotFound);
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
        case ETXTBSY:
            return Error(errors::PathFileAccessError);
        default:
            return generalReading(error);
    }
}

// What the system says when a program cannot be run.
Error startReading(int error) {
    switch (error) {
        case ENOENT:
            return Error(errors::FileNotFound);
        case EACCES:
        case EPERM:
        case EISDIR:
            return Error(errors::PermissionDenied);
        case ENOMEM:
        case E2BIG:
            return Error(errors::OutOfMemory);
        default:
            return Error(errors::InvalidProcedureCall);  // ENOEXEC and the like
    }
}

// A folder that cannot be made current: missing anywhere on the way is 76,
// refused is 75.
Error directoryChangeReading(int error) {
    switch (error) {
        case ENOENT:
            return Error(errors::PathNotFound);
        case EACCES:
            return Error(errors::PathFileAccessError);
        default:
            return generalReading(error);
    }
}

}  // namespace

Error errorFromErrno(int error, Failed call) {
    switch (call) {
        case Failed::Open:
            return openReading(error);
        case Failed::Start:
            return startReading(error);
        case Failed::DirectoryChange:
            return directoryChangeReading(error);
        case Failed::Call:
            break;
    }
    return generalReading(error);
}

std::int32_t existenceFromErrno(int error) {
    switch (error) {
        case ENOENT:
            return existence::FileNotFound;
        case EACCES:
            return existence::AccessDenied;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return existence::PathNotFound;
        default:
            return existence::GeneralFailure;  // the file is not known to be missing
    }
}

}  // namespace tarnwick
