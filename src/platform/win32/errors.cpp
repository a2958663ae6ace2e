// Win32 error codes to runtime errors: the one table of the Windows backend,
// with the readings of the calls that need their own.
#include "core/caught.h"
#include "platform/files.h"
#include "platform/win32/win32_platform.h"

namespace tarnwick {

namespace {

Error generalReading(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
            return Error(errors::FileNotFound);

        // Something on the way to the file is missing or cannot be a folder.
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_DIRECTORY:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return Error(errors::PathNotFound);

        // Characters no file name may hold (wildcards, "<", "|", ...).
        case ERROR_INVALID_NAME:
            return Error(errors::BadFileNameOrNumber);

        // Not allowed, or another program holds the file: the user may not
        // have it now, which the runtime reports as a permission.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
        case ERROR_NETWORK_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD:
            return Error(errors::PermissionDenied);

        // A drive that is there but holds no medium, or not one we can read.
        case ERROR_NOT_READY:
        case ERROR_NO_MEDIA_IN_DRIVE:
        case ERROR_UNRECOGNIZED_MEDIA:
            return Error(errors::DiskNotReady);

        // A drive or device that does not exist at all.
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_UNIT:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_BAD_DEVICE:
            return Error(errors::DeviceUnavailable);

        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return Error(errors::DiskFull);

        case ERROR_CRC:
        case ERROR_SEEK:
        case ERROR_SECTOR_NOT_FOUND:
        case ERROR_WRITE_FAULT:
        case ERROR_READ_FAULT:
        case ERROR_GEN_FAILURE:
        case ERROR_IO_DEVICE:
            return Error(errors::DeviceIOError);

        // The name is taken, or would have to move between drives: the
        // runtime's general answer for a file operation it cannot do.
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
        case ERROR_NOT_SAME_DEVICE:
        case ERROR_CURRENT_DIRECTORY:
        case ERROR_DIR_NOT_EMPTY:
            return Error(errors::PathFileAccessError);

        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
        case ERROR_NO_SYSTEM_RESOURCES:
            return Error(errors::OutOfMemory);

        case ERROR_TOO_MANY_OPEN_FILES:
            return Error(errors::TooManyFiles);

        // Everything else: the call was not possible with what was given.
        default:
            return Error(errors::InvalidProcedureCall);
    }
}

// A file that may not be opened so is 75, as the runtime's own file
// statements report it.
Error openReading(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return Error(errors::PathFileAccessError);
        default:
            return generalReading(error);
    }
}

// What the system says when a program cannot be run.
Error startReading(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return Error(errors::FileNotFound);
        case ERROR_ACCESS_DENIED:
            return Error(errors::PermissionDenied);
        // A file that is there but is no program this system can run.
        case ERROR_BAD_EXE_FORMAT:
        case ERROR_BAD_FORMAT:
        case ERROR_INVALID_EXE_SIGNATURE:
        case ERROR_EXE_MARKED_INVALID:
        case ERROR_EXE_MACHINE_TYPE_MISMATCH:
        case ERROR_EXE_CANNOT_MODIFY_SIGNED_BINARY:
        case ERROR_EXE_CANNOT_MODIFY_STRONG_SIGNED_BINARY:
        case ERROR_INVALID_ORDINAL:
        case ERROR_PROC_NOT_FOUND:
        case ERROR_DLL_INIT_FAILED:
        case ERROR_BAD_ENVIRONMENT:
            return Error(errors::InvalidProcedureCall);
        default:
            return generalReading(error);
    }
}

// A folder that cannot be made current: missing or malformed anywhere on
// the way (or a file's name) is 76, refused is 75.
Error directoryChangeReading(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_DIRECTORY:
            return Error(errors::PathNotFound);
        case ERROR_ACCESS_DENIED:
            return Error(errors::PathFileAccessError);
        default:
            return generalReading(error);
    }
}

}  // namespace

Error errorFromWin32(DWORD error, Failed call) {
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

std::int32_t existenceFromWin32(DWORD error) {
    switch (error) {
        // A name too long or malformed for the system names no file that
        // could be reached: nothing on its way exists.
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_INVALID_NAME:
            return existence::PathNotFound;
        default:
            return static_cast<std::int32_t>(error);  // the system's code is the answer
    }
}

}  // namespace tarnwick
