// Checks the C# binding against the library it finds: with "id X KEY A V FP OTHER_KEY OTHER_FP
// CHANGED_FP MATCH" Get() must return X, GetForApp(KEY) A, Describe() the verdict V,
// Fingerprint(KEY) FP and Fingerprint(OTHER_KEY) OTHER_FP, and Match(FP, CHANGED_FP) what
// print_id printed for them (MATCH, its two lines); with "error S M" Get() and Fingerprint()
// must throw ComputerIdException with status S and message M.
using System;
using Lib_ComputerID;

static class BindingCheck
{
    static int Main(string[] args)
    {
        try {
            string id = ComputerId.Get();
            string appId = ComputerId.GetForApp(FromHex(args[2]));
            string verdict = ComputerId.Describe().Verdict;
            if (args[0] == "id" && id == args[1] && appId == args[3] && verdict == args[4])
                return CheckFingerprints(args);
            Console.Error.WriteLine("Get() returned '" + id + "', GetForApp() '" + appId +
                                    "', Describe() '" + verdict + "'");
        } catch (ComputerIdException error) {
            if (args[0] == "error" && (int)error.Status == int.Parse(args[1]) &&
                error.Message == args[2]) {
                ComputerIdException again = Thrown(() => ComputerId.Fingerprint(new byte[16]));
                return again.Status == error.Status && again.Message == error.Message ? 0 : 1;
            }
            Console.Error.WriteLine("ComputerIdException " + error.Status + ": " + error.Message);
        }
        return 1;
    }

    static int CheckFingerprints(string[] args)
    {
        string stored = ComputerId.Fingerprint(FromHex(args[2]));
        string other = ComputerId.Fingerprint(FromHex(args[6]));
        FingerprintMatch same = ComputerId.Match(stored, stored);
        FingerprintMatch changed = ComputerId.Match(stored, args[8]);
        // print_id's lines without spaces: "verdict:" and "changed:", then the enums' names
        // ("samemachine", "processor,boardserial" as flags, "none").
        string[] printed = args[9].Replace(" ", "").Split('\n');
        string found = string.Join(" ", stored, other, same.Verdict, same.Changed,
            changed.Verdict, changed.Changed, Thrown(() => ComputerId.Match(stored, other)).Status,
            Thrown(() => ComputerId.Match(stored, stored.Substring(0, stored.Length / 2))).Status,
            Thrown(() => ComputerId.Match(stored + "\0" + stored, stored)).Status,
            Thrown(() => ComputerId.Fingerprint(new byte[15])).Status);
        string expected = string.Join(" ", args[5], args[7], "Same", "None",
            Enum.Parse(typeof(MatchVerdict), printed[0].Substring(8), true),
            Enum.Parse(typeof(FingerprintParts), printed[1].Substring(8), true), "KeyMismatch",
            "InvalidArgument", "InvalidArgument", "InvalidArgument");
        if (found == expected)
            return 0;
        Console.Error.WriteLine("Fingerprint() and Match() gave '" + found + "', not '" + expected +
                                "'");
        return 1;
    }

    // The ComputerIdException that call throws; one with status Ok when it throws none.
    static ComputerIdException Thrown(Action call)
    {
        try {
            call();
        } catch (ComputerIdException error) {
            return error;
        }
        return new ComputerIdException(ComputerIdStatus.Ok, "none thrown");
    }

    static byte[] FromHex(string hex)
    {
        var bytes = new byte[hex.Length / 2];
        for (int i = 0; i < bytes.Length; ++i)
            bytes[i] = Convert.ToByte(hex.Substring(2 * i, 2), 16);
        return bytes;
    }
}
