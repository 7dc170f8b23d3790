// pmconv: the converter a Go user would write for 3GPP measCollecFile files, as the
// XML benchmark's baseline. It does what such converters do: the whole file unmarshalled
// into structs with encoding/xml, each measurement row turned into a record of counter
// name to value, and the records written as JSON with encoding/json. Standard library
// only, so that Debian's Go builds it without fetching anything.
//
//	pmconv FILE > OUT.json
//
// Exit status 1 (with a message on standard error) when the file cannot be read or
// parsed, or a row's results do not match its block's counters.
package main

import (
	"bufio"
	"encoding/json"
	"encoding/xml"
	"fmt"
	"os"
	"strings"
)

type measCollecFile struct {
	FileHeader fileHeader `xml:"fileHeader"`
	MeasData   []measData `xml:"measData"`
	FileFooter struct {
		MeasCollec struct {
			EndTime string `xml:"endTime,attr"`
		} `xml:"measCollec"`
	} `xml:"fileFooter"`
}

type fileHeader struct {
	FileFormatVersion string `xml:"fileFormatVersion,attr"`
	VendorName        string `xml:"vendorName,attr"`
	DnPrefix          string `xml:"dnPrefix,attr"`
	FileSender        struct {
		LocalDn     string `xml:"localDn,attr"`
		ElementType string `xml:"elementType,attr"`
	} `xml:"fileSender"`
	MeasCollec struct {
		BeginTime string `xml:"beginTime,attr"`
	} `xml:"measCollec"`
}

type measData struct {
	ManagedElement struct {
		LocalDn   string `xml:"localDn,attr"`
		UserLabel string `xml:"userLabel,attr"`
		SwVersion string `xml:"swVersion,attr"`
	} `xml:"managedElement"`
	MeasInfo []measInfo `xml:"measInfo"`
}

type measInfo struct {
	MeasInfoID string `xml:"measInfoId,attr"`
	Job        struct {
		JobID string `xml:"jobId,attr"`
	} `xml:"job"`
	GranPeriod struct {
		Duration string `xml:"duration,attr"`
		EndTime  string `xml:"endTime,attr"`
	} `xml:"granPeriod"`
	RepPeriod struct {
		Duration string `xml:"duration,attr"`
	} `xml:"repPeriod"`
	MeasTypes string      `xml:"measTypes"`
	MeasType  []measType  `xml:"measType"`
	MeasValue []measValue `xml:"measValue"`
}

type measType struct {
	P    string `xml:"p,attr"`
	Name string `xml:",chardata"`
}

type measValue struct {
	MeasObjLdn  string     `xml:"measObjLdn,attr"`
	MeasResults string     `xml:"measResults"`
	R           []measType `xml:"r"`
	Suspect     *string    `xml:"suspect"`
}

// The JSON written: the file's header, then one record per measurement row; a row
// without a suspect element has no "suspect".
type output struct {
	FileFormatVersion string   `json:"fileFormatVersion"`
	VendorName        string   `json:"vendorName"`
	DnPrefix          string   `json:"dnPrefix"`
	SenderLocalDn     string   `json:"senderLocalDn"`
	ElementType       string   `json:"elementType"`
	BeginTime         string   `json:"beginTime"`
	EndTime           string   `json:"endTime"`
	Records           []record `json:"records"`
}

type record struct {
	ManagedElement string            `json:"managedElement"`
	MeasInfoID     string            `json:"measInfoId"`
	Block          int               `json:"block"`
	Duration       string            `json:"duration"`
	EndTime        string            `json:"endTime"`
	MeasObjLdn     string            `json:"measObjLdn"`
	Counters       map[string]string `json:"counters"`
	Suspect        *bool             `json:"suspect,omitempty"`
}

// convert returns the records of the file, or an error naming the block and row whose
// results do not pair up with the block's counters.
func convert(file *measCollecFile) (*output, error) {
	h := file.FileHeader
	out := &output{
		FileFormatVersion: h.FileFormatVersion, VendorName: h.VendorName, DnPrefix: h.DnPrefix,
		SenderLocalDn: h.FileSender.LocalDn, ElementType: h.FileSender.ElementType,
		BeginTime: h.MeasCollec.BeginTime, EndTime: file.FileFooter.MeasCollec.EndTime,
	}
	block := 0
	for _, data := range file.MeasData {
		for _, info := range data.MeasInfo {
			names := strings.Fields(info.MeasTypes)
			byPosition := map[string]string{}
			for _, t := range info.MeasType {
				names = append(names, t.Name)
				byPosition[t.P] = t.Name
			}
			for row, value := range info.MeasValue {
				counters := make(map[string]string, len(names))
				if len(value.R) > 0 {
					for _, r := range value.R {
						name, ok := byPosition[r.P]
						if !ok {
							return nil, fmt.Errorf("block %d row %d: no counter at position %q", block, row, r.P)
						}
						counters[name] = r.Name
					}
				} else {
					results := strings.Fields(value.MeasResults)
					if len(results) != len(names) {
						return nil, fmt.Errorf("block %d row %d: %d results for %d counters",
							block, row, len(results), len(names))
					}
					for i, result := range results {
						counters[names[i]] = result
					}
				}
				rec := record{
					ManagedElement: data.ManagedElement.LocalDn, MeasInfoID: info.MeasInfoID, Block: block,
					Duration: info.GranPeriod.Duration, EndTime: info.GranPeriod.EndTime,
					MeasObjLdn: value.MeasObjLdn, Counters: counters,
				}
				if value.Suspect != nil {
					suspect := strings.EqualFold(strings.TrimSpace(*value.Suspect), "true")
					rec.Suspect = &suspect
				}
				out.Records = append(out.Records, rec)
			}
			block++
		}
	}
	return out, nil
}

func main() {
	if len(os.Args) != 2 {
		fmt.Fprintln(os.Stderr, "usage: pmconv FILE > OUT.json")
		os.Exit(1)
	}
	text, err := os.ReadFile(os.Args[1])
	if err != nil {
		fmt.Fprintln(os.Stderr, "pmconv:", err)
		os.Exit(1)
	}
	var file measCollecFile
	if err := xml.Unmarshal(text, &file); err != nil {
		fmt.Fprintf(os.Stderr, "pmconv: %s: %v\n", os.Args[1], err)
		os.Exit(1)
	}
	out, err := convert(&file)
	if err != nil {
		fmt.Fprintf(os.Stderr, "pmconv: %s: %v\n", os.Args[1], err)
		os.Exit(1)
	}
	w := bufio.NewWriter(os.Stdout)
	if err := json.NewEncoder(w).Encode(out); err != nil {
		fmt.Fprintln(os.Stderr, "pmconv:", err)
		os.Exit(1)
	}
	if err := w.Flush(); err != nil {
		fmt.Fprintln(os.Stderr, "pmconv:", err)
		os.Exit(1)
	}
}
