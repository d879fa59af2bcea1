// This machine's computer ID from the C interface of the computer_id library, by P/Invoke:
// computer_id.dll on Windows, libcomputer_id.so on Linux; .NET and Mono.
//
//     Console.WriteLine(Lib_ComputerID.ComputerId.Get());
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Lib_ComputerID
{
    // The C interface's status codes (computer_id/c_interface.h).
    public enum ComputerIdStatus
    {
        Ok = 0,
        NoId = 1,
        OutOfMemory = 2,
        BufferTooSmall = 3,
        InvalidArgument = 4,
        InternalError = 5,
    }

    // The library gave no ID: Status says what kind of failure, Message why.
    public sealed class ComputerIdException : Exception
    {
        public ComputerIdException(ComputerIdStatus status, string message) : base(message)
        {
            Status = status;
        }

        public ComputerIdStatus Status { get; private set; }
    }

    public static class ComputerId
    {
        const int IdSize = 65;
        const int MessageSize = 1024;

        [DllImport("computer_id", EntryPoint = "computer_id_get",
                   CallingConvention = CallingConvention.Cdecl)]
        static extern int NativeGet(byte[] id, UIntPtr idSize, byte[] message,
                                    UIntPtr messageSize);

        [DllImport("computer_id", EntryPoint = "computer_id_version",
                   CallingConvention = CallingConvention.Cdecl)]
        static extern IntPtr NativeVersion();

        // The ID as the console program prints it after "comp id = ". Throws
        // ComputerIdException when there is none.
        public static string Get()
        {
            var id = new byte[IdSize];
            var message = new byte[MessageSize];
            int status = NativeGet(id, (UIntPtr)id.Length, message, (UIntPtr)message.Length);
            if (status != (int)ComputerIdStatus.Ok)
                throw new ComputerIdException((ComputerIdStatus)status, Text(message));
            return Text(id);
        }

        // The library's version, "major.minor.patch".
        public static string Version
        {
            get { return Marshal.PtrToStringAnsi(NativeVersion()); }
        }

        // The library's texts are ASCII and NUL-terminated.
        static string Text(byte[] buffer)
        {
            int end = Array.IndexOf(buffer, (byte)0);
            return Encoding.ASCII.GetString(buffer, 0, end < 0 ? buffer.Length : end);
        }
    }
}
