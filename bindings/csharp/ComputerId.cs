// This machine's computer ID from the C interface of the computer_id library, by P/Invoke:
// computer_id.dll on Windows, libcomputer_id.so.0 on Linux; .NET and Mono (compile with
// -r:System.Runtime.Serialization).
//
//     Console.WriteLine(Lib_ComputerID.ComputerId.Get());
using System;
using System.IO;
using System.Runtime.InteropServices;
using System.Runtime.Serialization;
using System.Runtime.Serialization.Json;
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
        // Two fingerprints were made with different application keys.
        KeyMismatch = 6,
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

    // What the ID rests on, without any of its values.
    [DataContract]
    public sealed class PropertyDescription
    {
        [DataMember(Name = "name")] public string Name;
        // "value", "null", "access denied" or "failed".
        [DataMember(Name = "state")] public string State;
        [DataMember(Name = "placeholder")] public bool Placeholder;
    }

    [DataContract]
    public sealed class ObjectDescription
    {
        [DataMember(Name = "class")] public string ClassName;
        [DataMember(Name = "properties")] public PropertyDescription[] Properties;
    }

    [DataContract]
    public sealed class IdDescription
    {
        [DataMember(Name = "objects")] public ObjectDescription[] Objects;
        [DataMember(Name = "hypervisor")] public bool Hypervisor;
        [DataMember(Name = "hypervisor_vendor")] public string HypervisorVendor;
        [DataMember(Name = "serial_number_backed")] public bool SerialNumberBacked;
        // "serial number", or "model only": every machine of this model gets the same ID.
        [DataMember(Name = "verdict")] public string Verdict;
    }

    // Match's verdicts (computer_id/c_interface.h says when each holds).
    public enum MatchVerdict
    {
        Same = 0,
        SameMachine = 1,
        Different = 2,
        Undecided = 3,
    }

    // The parts of a fingerprint, by their bits in the C interface.
    [Flags]
    public enum FingerprintParts
    {
        None = 0,
        Processor = 1,
        Board = 2,
        BoardSerial = 4,
        Bios = 8,
        BiosSerial = 16,
    }

    public struct FingerprintMatch
    {
        public readonly MatchVerdict Verdict;
        // The parts that differ or are present on one side only.
        public readonly FingerprintParts Changed;

        public FingerprintMatch(MatchVerdict verdict, FingerprintParts changed)
        {
            Verdict = verdict;
            Changed = changed;
        }
    }

    public static class ComputerId
    {
        const int IdSize = 65;
        const int FingerprintSize = 256;
        const int MessageSize = 1024;

        // The library by the name each system's runtime finds it under. For "computer_id" .NET
        // and Mono add ".dll" on Windows, but on Linux they try only libcomputer_id.so and names
        // like it, which the -dev package alone has; both hand a name with ".so." in it to dlopen
        // as it is, so there the runtime package's file is named. A name this system's runtime
        // cannot find fails only the calls made through it, and those are never made.
        static readonly bool OnWindows = Environment.OSVersion.Platform == PlatformID.Win32NT;

        static class WindowsLibrary
        {
            const string Name = "computer_id";

            [DllImport(Name, EntryPoint = "computer_id_get",
                       CallingConvention = CallingConvention.Cdecl)]
            internal static extern int Get(byte[] id, UIntPtr idSize, byte[] message,
                                           UIntPtr messageSize);

            [DllImport(Name, EntryPoint = "computer_id_get_for_app",
                       CallingConvention = CallingConvention.Cdecl)]
            internal static extern int GetForApp(byte[] key, UIntPtr keySize, byte[] id,
                                                 UIntPtr idSize, byte[] message,
                                                 UIntPtr messageSize);

            [DllImport(Name, EntryPoint = "computer_id_describe",
                       CallingConvention = CallingConvention.Cdecl)]
            internal static extern int Describe(byte[] json, UIntPtr jsonSize,
                                                out UIntPtr jsonNeeded, byte[] message,
                                                UIntPtr messageSize);

            [DllImport(Name, EntryPoint = "computer_id_fingerprint",
                       CallingConvention = CallingConvention.Cdecl)]
            internal static extern int Fingerprint(byte[] key, UIntPtr keySize,
                                                   byte[] fingerprint, UIntPtr fingerprintSize,
                                                   IntPtr fingerprintNeeded, byte[] message,
                                                   UIntPtr messageSize);

            [DllImport(Name, EntryPoint = "computer_id_match",
                       CallingConvention = CallingConvention.Cdecl)]
            internal static extern int Match(byte[] stored, byte[] current, out int verdict,
                                             out uint changed, byte[] message,
                                             UIntPtr messageSize);

            [DllImport(Name, EntryPoint = "computer_id_version",
                       CallingConvention = CallingConvention.Cdecl)]
            internal static extern IntPtr Version();
        }

        static class LinuxLibrary
        {
            const string Name = "libcomputer_id.so.0";

            [DllImport(Name, EntryPoint = "computer_id_get",
                       CallingConvention = CallingConvention.Cdecl)]
            internal static extern int Get(byte[] id, UIntPtr idSize, byte[] message,
                                           UIntPtr messageSize);

            [DllImport(Name, EntryPoint = "computer_id_get_for_app",
                       CallingConvention = CallingConvention.Cdecl)]
            internal static extern int GetForApp(byte[] key, UIntPtr keySize, byte[] id,
                                                 UIntPtr idSize, byte[] message,
                                                 UIntPtr messageSize);

            [DllImport(Name, EntryPoint = "computer_id_describe",
                       CallingConvention = CallingConvention.Cdecl)]
            internal static extern int Describe(byte[] json, UIntPtr jsonSize,
                                                out UIntPtr jsonNeeded, byte[] message,
                                                UIntPtr messageSize);

            [DllImport(Name, EntryPoint = "computer_id_fingerprint",
                       CallingConvention = CallingConvention.Cdecl)]
            internal static extern int Fingerprint(byte[] key, UIntPtr keySize,
                                                   byte[] fingerprint, UIntPtr fingerprintSize,
                                                   IntPtr fingerprintNeeded, byte[] message,
                                                   UIntPtr messageSize);

            [DllImport(Name, EntryPoint = "computer_id_match",
                       CallingConvention = CallingConvention.Cdecl)]
            internal static extern int Match(byte[] stored, byte[] current, out int verdict,
                                             out uint changed, byte[] message,
                                             UIntPtr messageSize);

            [DllImport(Name, EntryPoint = "computer_id_version",
                       CallingConvention = CallingConvention.Cdecl)]
            internal static extern IntPtr Version();
        }

        static int NativeGet(byte[] id, UIntPtr idSize, byte[] message, UIntPtr messageSize)
        {
            return OnWindows ? WindowsLibrary.Get(id, idSize, message, messageSize)
                             : LinuxLibrary.Get(id, idSize, message, messageSize);
        }

        static int NativeGetForApp(byte[] key, UIntPtr keySize, byte[] id, UIntPtr idSize,
                                   byte[] message, UIntPtr messageSize)
        {
            return OnWindows
                ? WindowsLibrary.GetForApp(key, keySize, id, idSize, message, messageSize)
                : LinuxLibrary.GetForApp(key, keySize, id, idSize, message, messageSize);
        }

        static int NativeDescribe(byte[] json, UIntPtr jsonSize, out UIntPtr jsonNeeded,
                                  byte[] message, UIntPtr messageSize)
        {
            return OnWindows
                ? WindowsLibrary.Describe(json, jsonSize, out jsonNeeded, message, messageSize)
                : LinuxLibrary.Describe(json, jsonSize, out jsonNeeded, message, messageSize);
        }

        static int NativeFingerprint(byte[] key, UIntPtr keySize, byte[] fingerprint,
                                     UIntPtr fingerprintSize, byte[] message,
                                     UIntPtr messageSize)
        {
            return OnWindows
                ? WindowsLibrary.Fingerprint(key, keySize, fingerprint, fingerprintSize,
                                             IntPtr.Zero, message, messageSize)
                : LinuxLibrary.Fingerprint(key, keySize, fingerprint, fingerprintSize,
                                           IntPtr.Zero, message, messageSize);
        }

        static int NativeMatch(byte[] stored, byte[] current, out int verdict, out uint changed,
                               byte[] message, UIntPtr messageSize)
        {
            return OnWindows
                ? WindowsLibrary.Match(stored, current, out verdict, out changed, message,
                                       messageSize)
                : LinuxLibrary.Match(stored, current, out verdict, out changed, message,
                                     messageSize);
        }

        static IntPtr NativeVersion()
        {
            return OnWindows ? WindowsLibrary.Version() : LinuxLibrary.Version();
        }

        // The ID as the console program prints it after "comp id = ". Throws
        // ComputerIdException when there is none.
        public static string Get()
        {
            var id = new byte[IdSize];
            var message = new byte[MessageSize];
            int status = NativeGet(id, (UIntPtr)id.Length, message, (UIntPtr)message.Length);
            Check(status, message);
            return Text(id);
        }

        // This application's ID of the machine, keyed with key (at least 16 bytes: a random
        // secret the application carries): 64 hex digits that other applications cannot
        // match. Throws ComputerIdException (InvalidArgument for a short key) when there is
        // none.
        public static string GetForApp(byte[] key)
        {
            if (key == null)
                throw new ArgumentNullException("key");
            var id = new byte[IdSize];
            var message = new byte[MessageSize];
            int status = NativeGetForApp(key, (UIntPtr)key.Length, id, (UIntPtr)id.Length, message,
                                         (UIntPtr)message.Length);
            Check(status, message);
            return Text(id);
        }

        // What the ID rests on. Throws ComputerIdException when the inventory fails.
        public static IdDescription Describe()
        {
            var json = new byte[4096];
            var message = new byte[MessageSize];
            UIntPtr needed;
            int status = NativeDescribe(json, (UIntPtr)json.Length, out needed, message,
                                        (UIntPtr)message.Length);
            if (status == (int)ComputerIdStatus.BufferTooSmall && (long)needed > json.Length) {
                json = new byte[(long)needed];
                status = NativeDescribe(json, (UIntPtr)json.Length, out needed, message,
                                        (UIntPtr)message.Length);
            }
            Check(status, message);
            var serializer = new DataContractJsonSerializer(typeof(IdDescription));
            int end = Array.IndexOf(json, (byte)0);
            using (var stream = new MemoryStream(json, 0, end))
                return (IdDescription)serializer.ReadObject(stream);
        }

        // This machine's fingerprint for the application of key (as GetForApp takes it): a
        // short ASCII text to store and later hand to Match with a fresh one. Throws
        // ComputerIdException as GetForApp.
        public static string Fingerprint(byte[] key)
        {
            if (key == null)
                throw new ArgumentNullException("key");
            var fingerprint = new byte[FingerprintSize];
            var message = new byte[MessageSize];
            int status = NativeFingerprint(key, (UIntPtr)key.Length, fingerprint,
                                           (UIntPtr)fingerprint.Length, message,
                                           (UIntPtr)message.Length);
            Check(status, message);
            return Text(fingerprint);
        }

        // Compares a stored fingerprint with a current one of the same key, without reading
        // the hardware. Throws ComputerIdException: InvalidArgument for a text that is no
        // fingerprint, KeyMismatch for fingerprints of different keys.
        public static FingerprintMatch Match(string stored, string current)
        {
            if (stored == null)
                throw new ArgumentNullException("stored");
            if (current == null)
                throw new ArgumentNullException("current");
            var message = new byte[MessageSize];
            int verdict;
            uint changed;
            int status = NativeMatch(FingerprintText(stored, "stored"),
                                     FingerprintText(current, "current"), out verdict,
                                     out changed, message, (UIntPtr)message.Length);
            Check(status, message);
            return new FingerprintMatch((MatchVerdict)verdict, (FingerprintParts)changed);
        }

        // The library's version, "major.minor.patch".
        public static string Version
        {
            get { return Marshal.PtrToStringAnsi(NativeVersion()); }
        }

        static void Check(int status, byte[] message)
        {
            if (status != (int)ComputerIdStatus.Ok)
                throw new ComputerIdException((ComputerIdStatus)status, Text(message));
        }

        // A fingerprint (side: "stored" or "current") as the library reads it, NUL-terminated.
        // The runtime's own marshalling would take Windows' code page, whose best-fit mapping
        // can turn a character outside ASCII into an ASCII one; as UTF-8 such a character stays
        // one the library refuses.
        static byte[] FingerprintText(string text, string side)
        {
            // The library would read only up to a NUL and so could take a damaged text for
            // whole.
            if (text.IndexOf('\0') >= 0)
                throw new ComputerIdException(ComputerIdStatus.InvalidArgument, "The " + side +
                                              " fingerprint holds a NUL character");
            return Encoding.UTF8.GetBytes(text + "\0");
        }

        // The library's texts are ASCII and NUL-terminated.
        static string Text(byte[] buffer)
        {
            int end = Array.IndexOf(buffer, (byte)0);
            return Encoding.ASCII.GetString(buffer, 0, end < 0 ? buffer.Length : end);
        }
    }
}
